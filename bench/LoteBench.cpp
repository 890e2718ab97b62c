// talpor-lote against PROJ's cs2cs on the same million points, end to end from file to
// file: random points over peninsular Spain (fixed seed), WGS84 to ED50 with Helmert,
// UTM out. cs2cs runs the equivalent transformation: +towgs84 with the seven EST99
// parameters (PROJ reads them in the position-vector convention, as the geo library applies them),
// the International 1924 ellipsoid and UTM zone 30. talpor-lote picks ZNW99 or BAL99 where
// they apply and the zone of each point; the work per point is the same. Before timing,
// the two are compared on a few EST99 points of zone 30, so that the pipeline timed is
// the same transformation. Wall time and peak resident memory (the process with the
// processes it waited for), medians of the runs (and talpor-lote's fastest), and the
// minimum and median of the speed-up of each round; the order of the two alternates.
//
// Then a GPX track of as many points against the same points as CSV (TrackBench).
//
// Then a GeoPackage of lines / 100 polygons against ogr2ogr with the IGN grid (LayerBench).
//
//   lote_bench <talpor-lote> [runs] [lines] [IGN grid file]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "SpainPoints.h"
#include "Spawned.h"
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::vector<std::string> kCs2cs = {
    "cs2cs", "-f", "%.3f", "+proj=longlat", "+datum=WGS84", "+to", "+proj=utm", "+zone=30", "+ellps=intl",
    "+towgs84=-131.032,-100.251,-163.354,-1.2438,-0.0195,-1.1436,9.39"};


std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines of a file, counted without holding them: the peak memory of a program run
// later counts this process's pages until the program starts.
std::size_t LineCount(const std::string& path) {
    std::ifstream in(path);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

template <typename T>
double Value(const Sample& s, T Sample::*field) {
    return static_cast<double>(s.*field);
}

// A program's medians over its runs: wall and CPU time, peak memory.
void PrintSamples(const char* name, const std::vector<Sample>& runs) {
    std::vector<double> wall, cpu, kb;
    for (const Sample& s : runs) {
        wall.push_back(s.seconds);
        cpu.push_back(s.cpuSeconds);
        kb.push_back(static_cast<double>(s.maxRssKb));
    }
    std::printf("  %-26s: %6.2f s wall (min %.2f), %6.2f s CPU, %6.1f MB peak (median)\n", name, Median(wall),
                *std::min_element(wall.begin(), wall.end()), Median(cpu), Median(kb) / 1024);
}

// The ratio a / b of each round's runs, its minimum and median, and the goal.
template <typename T>
void PrintRatio(const char* what, const std::vector<Sample>& a, const std::vector<Sample>& b, T Sample::*field,
                const char* goal) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) ratios.push_back(Value(a[i], field) / Value(b[i], field));
    std::printf("  %s: min %.2f, median %.2f (goal %s)\n", what, *std::min_element(ratios.begin(), ratios.end()),
                Median(ratios), goal);
}

// The largest difference (metres) between the two programs' eastings and northings on
// EST99 points of zone 30; a negative value when a program failed.
double PipelineCheck(const std::string& lote, const std::string& dir) {
    const double points[][2] = {{40.4168, -3.7038},  {37.3891, -5.9845}, {41.6488, -0.8891},
                                {38.9943, -1.8585},  {42.3439, -3.6969}, {37.9922, -1.1307}};
    std::ofstream csv(dir + "/prueba.csv"), txt(dir + "/prueba.txt");
    for (const auto& p : points) {
        csv << p[0] << ";" << p[1] << "\n";
        txt << p[1] << " " << p[0] << "\n";
    }
    csv.close();
    txt.close();
    if (Run({lote, "--salida=utm,parametros", "--punto", dir + "/prueba.csv"}, "/dev/null", dir + "/prueba-lote.csv", "/dev/null")
            .status != 0 ||
        Run(kCs2cs, dir + "/prueba.txt", dir + "/prueba-cs2cs.txt", "/dev/null").status != 0)
        return -1;
    const std::vector<std::string> ours = Lines(dir + "/prueba-lote.csv"), theirs = Lines(dir + "/prueba-cs2cs.txt");
    if (ours.size() != std::size(points) || theirs.size() != std::size(points)) return -1;
    double largest = 0;
    std::printf("  pipeline check, EST99 points of zone 30 (talpor-lote rounds to centimetres):\n");
    for (std::size_t i = 0; i < ours.size(); ++i) {
        // lat;lon;30T;E;N;EST99;  and  E<tab>N h
        std::vector<std::string> f;
        std::stringstream row(ours[i]);
        for (std::string x; std::getline(row, x, ';');) f.push_back(x);
        double e = 0, n = 0;
        std::sscanf(theirs[i].c_str(), "%lf %lf", &e, &n);
        if (f.size() < 6 || !f[2].starts_with("30") || f[5] != "EST99") return -1;
        const double dE = std::stod(f[3]) - e, dN = std::stod(f[4]) - n;
        std::printf("    %8.4f %8.4f   talpor-lote %s %s   cs2cs %.3f %.3f\n", points[i][0], points[i][1],
                    f[3].c_str(), f[4].c_str(), e, n);
        largest = std::max({largest, std::fabs(dE), std::fabs(dN)});
    }
    return largest;
}

// A GPS track against the same points as a table: a GPX file of `lines` track points with
// their elevations, and a CSV file of the same latitudes, longitudes and altitudes
// (--altitud), both to ED50 UTM. Medians of `runs` rounds, in alternating order; the
// ratio is the GPX file's time over the table's (target <= 2), and the peak memory of
// each (target < 50 MB). False when a run failed.
// The GPS track of `lines` points (track.gpx) and the same points as CSV (track.csv) in
// `dir`. False when a file could not be made.
bool MakeTrack(const std::string& dir, long lines) {
    {
        std::mt19937_64 random(16);
        std::uniform_real_distribution<double> ele(0, 2500);
        const std::vector<bench::SpainPoint>& points = bench::SpainPoints();
        std::FILE* gpx = std::fopen((dir + "/track.gpx").c_str(), "w");
        std::FILE* csv = std::fopen((dir + "/track.csv").c_str(), "w");
        if (gpx == nullptr || csv == nullptr) return false;
        std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"lote_bench\" "
                   "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>Ruta</name><trkseg>\n", gpx);
        std::fputs("latitud;longitud;altitud\n", csv);
        for (long i = 0; i < lines; ++i) {
            const bench::SpainPoint& p = points[static_cast<std::size_t>(i) % points.size()];
            const double a = p.lat, b = p.lon, h = ele(random);
            std::fprintf(gpx, "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%.1f</ele></trkpt>\n", a, b, h);
            std::fprintf(csv, "%.6f;%.6f;%.1f\n", a, b, h);
        }
        std::fputs("</trkseg></trk>\n</gpx>\n", gpx);
        std::fclose(gpx);
        std::fclose(csv);
    }
    return true;
}

bool TrackBench(const std::string& lote, const std::string& dir, int runs, long lines) {
    std::printf("\nA GPX track against the same points as CSV: %ld points with elevations (altitudes),\n"
                "WGS84 -> ED50, Helmert, UTM and heights, file to file (median of %d runs)\n", lines, runs);
    std::vector<double> gpxSeconds, csvSeconds, gpxKb, csvKb;
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool gpx = (i + k) % 2 == 0;
            const std::vector<std::string> args =
                gpx ? std::vector<std::string>{lote, "--salida=utm,altura", dir + "/track.gpx", dir + "/track-gpx.csv"}
                    : std::vector<std::string>{lote, "--salida=utm,altura", "--altitud=altitud", dir + "/track.csv",
                                               dir + "/track-csv.csv"};
            const Sample s = Run(args, "/dev/null", "/dev/null", "/dev/null");
            if (s.status != 0) {
                std::fprintf(stderr, "lote_bench: talpor-lote ended with status %d on the %s file\n", s.status,
                             gpx ? "GPX" : "CSV");
                return false;
            }
            (gpx ? gpxSeconds : csvSeconds).push_back(s.seconds);
            (gpx ? gpxKb : csvKb).push_back(static_cast<double>(s.maxRssKb));
        }
    }
    std::size_t rows = 0;
    {
        std::ifstream out(dir + "/track-gpx.csv");
        for (std::string line; std::getline(out, line);) ++rows;
    }
    if (rows != static_cast<std::size_t>(lines) + 1) {
        std::fprintf(stderr, "lote_bench: the GPX track did not give a row a point\n");
        return false;
    }
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) ratios.push_back(gpxSeconds[i] / csvSeconds[i]);
    std::printf("  CSV          : %6.2f s  %6.1f MB peak\n", Median(csvSeconds), Median(csvKb) / 1024);
    std::printf("  GPX          : %6.2f s  %6.1f MB peak (largest %.1f MB, target < 50)\n", Median(gpxSeconds),
                Median(gpxKb) / 1024, *std::max_element(gpxKb.begin(), gpxKb.end()) / 1024);
    std::printf("  GPX / CSV, time: min %.2f, median %.2f (target <= 2)\n", *std::min_element(ratios.begin(), ratios.end()),
                Median(ratios));
    return true;
}

// A forest map against ogr2ogr: a GeoPackage of `polygons` polygons of 100 vertices each
// (fixed seed, round stands of 100 m to 1 km about points of Spain, ED50 UTM 30) to ETRS89
// UTM 30 with the IGN grid. ogr2ogr runs PROJ's pipeline with the same grid (inverse UTM,
// hgridshift, UTM), as a GIS user would write it. Both read and write the GeoPackage through
// GDAL; the ratio is talpor-lote's time over ogr2ogr's (target <= 1), and the peak
// memory of each (bounded: not growing with the layer). False when a run failed.
// The GeoPackage of `polygons` stands in `dir`/rodales.gpkg (through a CSV that ogr2ogr
// reads). False when it could not be made.
bool MakeLayer(const std::string& dir, long polygons) {
    {
        std::mt19937_64 random(33);
        std::uniform_real_distribution<double> radius(0.001, 0.009), wobble(0.9, 1.1);
        const std::vector<bench::SpainPoint>& points = bench::SpainPoints();
        std::FILE* csv = std::fopen((dir + "/rodales.csv").c_str(), "w");
        if (csv == nullptr) return false;
        std::fputs("WKT,rodal,especie,superficie\n", csv);
        long written = 0;
        for (std::size_t i = 0; written < polygons && i < 100 * points.size(); ++i) {
            const bench::SpainPoint& p = points[i % points.size()];
            if (p.lon > 3.3 || p.lat < 36.0) continue;  // the peninsula's grid
            const double r = radius(random);
            std::fprintf(csv, "\"POLYGON ((");
            for (int k = 0; k < 100; ++k) {
                const double a = k == 99 ? 0 : 2 * M_PI * k / 99, w = k == 99 ? 1 : wobble(random);
                std::fprintf(csv, "%s%.7f %.7f", k == 0 ? "" : ",", p.lon + r * w * std::cos(a) / 0.76,
                             p.lat + r * (k == 99 ? 1 : w) * std::sin(a));
            }
            std::fprintf(csv, "))\",R-%ld,Pinus sylvestris,%.2f\n", written, r * 1e4);
            ++written;
        }
        std::fclose(csv);
    }
    const std::string make = "cd " + dir + " && ogr2ogr -f GPKG rodales.gpkg rodales.csv -oo GEOM_POSSIBLE_NAMES=WKT "
                             "-oo KEEP_GEOM_COLUMNS=NO -oo AUTODETECT_TYPE=YES -s_srs EPSG:4230 -t_srs EPSG:23030 "
                             "-nln rodales > /dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "lote_bench: ogr2ogr could not make the GeoPackage (gdal-bin)\n");
        return false;
    }
    return true;
}

bool LayerBench(const std::string& lote, const std::string& grid, const std::string& dir, int runs, long polygons) {
    const std::vector<std::string> ogr = {"ogr2ogr", "-f", "GPKG", dir + "/ogr.gpkg", dir + "/rodales.gpkg", "-a_srs",
                                          "EPSG:25830", "-ct",
                                          "+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step "
                                          "+proj=hgridshift +grids=" + grid + " +step +proj=utm +zone=30 +ellps=GRS80"};
    std::printf("\nA GeoPackage of %ld polygons of 100 vertices, ED50 UTM 30 -> ETRS89 UTM 30 with the IGN grid,\n"
                "talpor-lote against ogr2ogr with PROJ and the same grid (%d rounds)\n", polygons, runs);
    std::vector<Sample> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool lote_ = (i + k) % 2 == 0;
            std::remove((dir + "/ogr.gpkg").c_str());
            std::remove((dir + "/talpor.gpkg").c_str());
            const Sample s = lote_ ? Run({lote, "-m", "rejilla", dir + "/rodales.gpkg", dir + "/talpor.gpkg"}, "/dev/null",
                                         "/dev/null", "/dev/null")
                                   : Run(ogr, "/dev/null", "/dev/null", "/dev/null");
            if (s.status != 0) {
                std::fprintf(stderr, "lote_bench: %s ended with status %d on the GeoPackage\n",
                             lote_ ? "talpor-lote" : "ogr2ogr", s.status);
                return false;
            }
            (lote_ ? ours : theirs).push_back(s);
        }
    }
    PrintSamples("ogr2ogr", theirs);
    PrintSamples("talpor-lote", ours);
    PrintRatio("talpor-lote / ogr2ogr, wall time", ours, theirs, &Sample::seconds, "<= 0.6");
    PrintRatio("talpor-lote / ogr2ogr, CPU time ", ours, theirs, &Sample::cpuSeconds, "<= 1.0");
    PrintRatio("talpor-lote / ogr2ogr, peak mem ", ours, theirs, &Sample::maxRssKb, "<= 1.0");
    return true;
}

// The million points in `dir`: "lat;lon" with a header for talpor-lote (puntos.csv), "lon
// lat" for cs2cs (puntos.txt), the same decimal texts. False when a file could not be made.
bool WritePoints(const std::string& dir, long lines) {
    // The points of the geodetic benchmarks, in Spain: a box around it would put half
    // of them at sea or in Portugal and France, each with its warning.
    const std::vector<bench::SpainPoint>& points = bench::SpainPoints();
    std::FILE* csv = std::fopen((dir + "/puntos.csv").c_str(), "w");
    std::FILE* txt = std::fopen((dir + "/puntos.txt").c_str(), "w");
    if (csv == nullptr || txt == nullptr) return false;
    std::fputs("latitud;longitud\n", csv);
    for (long i = 0; i < lines; ++i) {
        const bench::SpainPoint& p = points[static_cast<std::size_t>(i) % points.size()];
        std::fprintf(csv, "%.6f;%.6f\n", p.lat, p.lon);
        std::fprintf(txt, "%.6f %.6f\n", p.lon, p.lat);
    }
    return std::fclose(csv) == 0 && std::fclose(txt) == 0;
}

// cs2cs, talpor-lote with its default columns and talpor-lote with --salida=utm on the
// points, each round in another order. False when a run failed.
bool RowsBench(const std::string& lote, const std::string& dir, int runs, long lines) {
    const std::vector<std::vector<std::string>> programs = {
        kCs2cs,
        {lote, dir + "/puntos.csv", dir + "/columnas.csv"},
        {lote, "--salida=utm", dir + "/puntos.csv", dir + "/utm.csv"}};
    const char* names[] = {"cs2cs", "talpor-lote", "talpor-lote --salida=utm"};
    std::vector<Sample> samples[3];
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 3; ++k) {
            const int p = (i + k) % 3;
            const Sample s = Run(programs[p], p == 0 ? dir + "/puntos.txt" : "/dev/null",
                                 p == 0 ? dir + "/cs2cs.txt" : "/dev/null", "/dev/null");
            if (s.status != 0) {
                std::fprintf(stderr, "lote_bench: %s ended with status %d\n", names[p], s.status);
                return false;
            }
            samples[p].push_back(s);
        }
    }
    for (const char* out : {"/columnas.csv", "/utm.csv"}) {
        if (LineCount(dir + out) != static_cast<std::size_t>(lines) + 1) {
            std::fprintf(stderr, "lote_bench: talpor-lote did not write a line a point in %s\n", out);
            return false;
        }
    }
    for (int p = 0; p < 3; ++p) PrintSamples(names[p], samples[p]);
    PrintRatio("cs2cs / talpor-lote, time           ", samples[0], samples[1], &Sample::seconds, ">= 3");
    PrintRatio("cs2cs / talpor-lote --salida=utm    ", samples[0], samples[2], &Sample::seconds, ">= 5");
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    // lote_bench --datos <folder> [lines]: the inputs alone, for comparing outputs.
    if (argc >= 3 && std::string(argv[1]) == "--datos") {
        const std::string dir = argv[2];
        const long lines = argc > 3 ? std::atol(argv[3]) : 1000000;
        return WritePoints(dir, lines) && MakeTrack(dir, lines) && MakeLayer(dir, lines / 100) ? 0 : 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <talpor-lote> [runs] [lines] [IGN grid file]\n"
                             "       %s --datos <folder> [lines]\n", argv[0], argv[0]);
        return 2;
    }
    const std::string lote = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const long lines = argc > 3 ? std::atol(argv[3]) : 1000000;
    char dirTemplate[] = "/tmp/talpor-lote-bench-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) return 2;
    const std::string dir = dirTemplate;
    // The data by a process of its own: a program started later counts in its peak memory
    // the pages its parent holds when it starts, and this one never holds the points.
    if (Run({argv[0], "--datos", dir, std::to_string(lines)}, "/dev/null", "/dev/null", "/dev/null").status != 0) {
        std::fprintf(stderr, "lote_bench: the data could not be made (is ogr2ogr installed? gdal-bin)\n");
        return 2;
    }

    std::printf("talpor-lote against cs2cs: %ld random points of Spain, WGS84 -> ED50, Helmert, file to\n"
                "file (%d rounds; talpor-lote with its default columns and with UTM alone, cs2cs UTM)\n", lines, runs);
    const double check = PipelineCheck(lote, dir);
    if (check < 0) {
        std::fprintf(stderr, "lote_bench: the pipeline check could not run (is cs2cs installed? proj-bin)\n");
        return 1;
    }
    std::printf("    largest difference %.3f m\n", check);
    if (check > 0.01) {
        std::fprintf(stderr, "lote_bench: cs2cs and talpor-lote disagree: not the same transformation\n");
        return 1;
    }
    const bool rows = RowsBench(lote, dir, runs, lines);
    const bool track = TrackBench(lote, dir, runs, lines);
    const std::string grid = argc > 4 ? argv[4] : "";
    const bool layers = grid.empty() || LayerBench(lote, grid, dir, runs, lines / 100);
    const std::string cleanup = "rm -rf " + dir;
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    return rows && track && layers ? 0 : 1;
}
