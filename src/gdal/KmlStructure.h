// What GDAL's libkml reader does not say of a KML file, read from its text by the GDAL
// module before GDAL reads it: the folders each layer lies in (the reader makes a layer of
// every Document and Folder, in the order they open, and keeps only the innermost name),
// the altitudeMode of each gx:Track (which the reader leaves unset, as if on the ground),
// and a gx:Track of more positions than times (which the reader reads past its end on).
// A plain scan of the elements: comments, CDATA and declarations passed over, entities in
// names read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gdal {

struct KmlContainer {
    std::string name;  // its <name>, "" without one
    int depth = 0;     // among containers: 0 for the outermost
    int parent = -1;   // its container's index, -1 for none
    // Of each feature it holds itself (Placemark, GroundOverlay), in order: the
    // altitudeMode of its gx:Track or gx:MultiTrack, "" for none.
    std::vector<std::string> trackModes;
};

struct KmlStructure {
    std::vector<KmlContainer> containers;  // in the order they open
    // Why GDAL must not read it: a gx:Track of more positions than times, a DOCTYPE. ""
    // when fine.
    std::string problem;
};

// The structure of the KML text `kml`, `file` naming it in the problem's sentence.
KmlStructure ScanKml(std::string_view kml, const std::string& file);

// The container each of GDAL's layers `names` was made of, in the order they open: a
// layer is named after its container, "Layer #N" for one without a name, and the
// outermost container is a layer only where it holds features of its own. Empty when
// they cannot be matched so.
std::vector<int> LayerContainers(const KmlStructure& kml, const std::vector<std::string>& names);

// The folder path of container `index`: its ancestors' names and its own, "/" between,
// the outermost left out (the file itself); `unnamed` stands for its own name where it has
// none.
std::string FolderPath(const KmlStructure& kml, int index, const std::string& unnamed);

}  // namespace gdal
