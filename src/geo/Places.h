// Where a point lies: on Spain's land or in its sea, in another country of the map, or at
// sea, from the outlines of the map's data file (OpenStreetMap's countries and Spain's
// territorial sea, simplified to 20 m). The outlines are drawn once into cells of 0.02º (some 2 km), so that a point is
// told in a few reads whatever the number of points of a file; a point whose cells around
// are of more than one place is told by the outlines themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "geo/MapLines.h"

namespace geo {

// What the outlines may be off by: a point this close to Spain's is Spain's, and one
// this close to a coast or a border is on it rather than on either side.
inline constexpr double kOutlineMarginKm = 0.03;

struct Place {
    enum class Kind {
        Spain,    // Spain's land or its territorial sea
        Country,  // another country's land
        Sea,      // the sea beyond Spain's
        Unknown,  // off the map, or without its data
    };
    Kind kind = Kind::Unknown;
    std::string country;  // Country: its ISO 3166 code
};

class PlaceMap {
  public:
    PlaceMap() = default;  // knows no place
    // The countries' rings, the coasts and borders (for the distance to them) and the rings
    // of Spain's land and territorial sea.
    PlaceMap(const std::vector<MapArea>& areas, const std::vector<MapLine>& lines,
             const std::vector<MapArea>& waters = {});

    bool Empty() const { return cells_.empty(); }

    // The place of a point (degrees); within kOutlineMarginKm of Spain's land or sea, Spain.
    Place Of(double lat, double lon) const;
    // Whether the point is on Spain's land, with that margin.
    bool OnSpanishLand(double lat, double lon) const;
    // The distance (km) from the point to the nearest coast of the map's lines.
    double KmToCoast(double lat, double lon) const;
    // The distance (km) from the point to the nearest border of the map's lines, anything
    // over `limitKm` when none is that near.
    double KmToBorder(double lat, double lon, double limitKm) const;
    // The country whose land holds the point by the outlines alone, without margin nor
    // territorial sea: its ISO 3166 code; "" at sea or off the map.
    std::string LandAt(double lat, double lon) const;
    // The ring of `country` that holds the point (its index among the rings the map was
    // made of; the smallest one where rings nest), or -1. Two points on one island give
    // the same ring.
    int RingAt(double lat, double lon, const std::string& country) const;

  private:
    // The codes of the cells. A country has its code from kFirstCountry (as many as fit
    // below kOutline); one beyond them, and every cell an outline goes through, is
    // kOutline: told by the outlines themselves.
    enum : std::uint8_t { kSea = 0, kSpain = 1, kSpanishSea = 2, kFirstCountry = 3, kOutline = 254, kMixed = 255 };
    // The sides of outlines, found by where they lie, so that a point is tested against
    // the few near it.
    class Sides {
      public:
        void Add(const LatLon& a, const LatLon& b);
        // Whether the point is inside the outlines (even-odd across them).
        bool Inside(double lat, double lon) const;
        // The distance (km) from the point to the nearest side; anything over `limitKm`
        // when none is that near.
        double Km(double lat, double lon, double limitKm) const;

      private:
        struct Side {
            LatLon a, b;
        };
        std::vector<std::vector<Side>> byRow_;     // by the cell rows their latitudes span
        std::vector<std::vector<Side>> byBucket_;  // by the squares of kBucket their boxes touch
    };

    // The cell of a point; false off the map.
    bool CellOf(double lat, double lon, int& row, int& col) const;
    // The code of the cells within one of (row, col) when they all have one place's,
    // else kMixed (cells of more than one place, or an outline's).
    std::uint8_t Around(int row, int col) const;
    // The place of a point from the outlines: kSea, kSpain, or kFirstCountry plus the
    // country's index in countries_ (which may be past the cells' codes).
    std::size_t Exact(double lat, double lon) const;

    std::vector<std::uint8_t> cells_;  // row by row from the south-west corner
    std::vector<std::string> countries_;  // of the codes from kFirstCountry
    Sides spain_;
    std::vector<Sides> others_;  // by code from kFirstCountry
    Sides coasts_, borders_;
    Sides spanishSea_;  // Spain's land and territorial sea
    std::vector<MapArea> rings_;  // as given, for RingAt
};

}  // namespace geo
