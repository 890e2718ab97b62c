// KML and KMZ written by the GDAL module itself, feature by feature, in time that grows
// with the features (GDAL's libkml writer rebuilds its document at every feature, and
// takes minutes for tens of thousands). What it writes is what GDAL's libkml reader
// reads back as the same layers and attributes: a Document holding a Document a layer,
// with the typed Schema of its attributes, each feature a Placemark with its name, description, style
// (a pen's and a brush's colours), its attributes as SchemaData and its geometry as GDAL
// exports it, with the altitudeMode its height needs. Features that came from a KML's
// folders (their attribute "Carpeta") go back into nested Folders of those names. A KMZ is
// the same doc.kml in a zip file, deflated as it is written.
#pragma once

#include <cpl_vsi.h>
#include <ogr_api.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace gdal {

// The value of a date or date-and-time attribute as ISO 8601 text, as XML Schema writes
// it: 2024-05-01, 2024-05-01T10:30:00 (with its seconds' decimals and its zone where it has
// them).
std::string IsoDate(OGRFeatureH feature, int field);

class KmlWriter {
  public:
    // Creates `path` (a KMZ when it ends in ".kmz"); false when it cannot be.
    bool Open(const std::string& path);
    // A layer of the output, in the order of the input's: its name, the definition of its
    // features and the names its attributes are written with (one a field).
    // `skipped`: a layer left out of the file. Answers the attributes KML has no type for,
    // written as text: each one's index and a sentence that says it.
    std::vector<std::pair<int, std::string>> AddLayer(const std::string& name, OGRFeatureDefnH definition,
                                      const std::vector<std::string>& fieldNames, bool skipped = false);
    // Writes the Document's head once every layer is added.
    void Begin();
    // Writes a feature of layer `layer` (layers come in order); `altitudeMode` for a 3D
    // geometry without an altitudeMode of its own (null: KML's default, on the ground).
    // False once a write failed.
    bool Write(int layer, OGRFeatureH feature, const char* altitudeMode);
    // Ends the document and closes the file; false when a write failed.
    bool Close();
    ~KmlWriter();

  private:
    struct Layer {
        std::string name;
        std::vector<std::string> fields;  // names written
        std::vector<std::string> types;   // KML's SimpleField types
        int nameField = -1, descriptionField = -1, altitudeModeField = -1;
        int folderField = -1;  // "Carpeta": the KML folders a feature came from, "Sierra/Picos"
        bool skipped = false;
    };
    void Put(const std::string& text);
    void Flush();
    // Opens the Documents of the layers up to `layer`, which goes within the Folders of
    // its first feature's folder path `path` when that ends in the layer's name: the
    // Document stands for the folder it was read from.
    // A layer without features whose name is a folder written already (GDAL's layer of a
    // Folder that held only Folders) is not written again.
    void OpenLayersUpTo(int layer, const std::string& path = "", bool feature = true);
    // Closes and opens Folders of `open` so that what comes next lies in `path` ("" for none).
    void EnterFolders(std::vector<std::string>& open, const std::string& path);

    VSILFILE* file_ = nullptr;
    std::vector<Layer> layers_;
    std::string buffer_;
    int open_ = -1;  // the layer whose Document is open; layers before it are written
    std::vector<std::string> folders_;  // the Folders open inside it
    std::vector<std::string> outer_;    // the Folders it is open inside
    std::string layerPath_;             // the folder path its Document stands for; "" for none
    bool documentOpen_ = false;         // its Document is written (not skipped)
    std::set<std::string> foldersWritten_;
    bool failed_ = false;
};

}  // namespace gdal
