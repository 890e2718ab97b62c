// The dialog of "Convertir fichero…": everything talpor-lote offers, on one window. The
// file with a preview of its first rows and the layout found there (separator, header,
// point columns), which the user can correct; the zone of eastings and northings that
// carry none; the height column and whether it holds heights above the ellipsoid or
// altitudes; the method; the result columns; the decimal sign; the destination.
//
// The choices become talpor-lote's own arguments, and the run's settings are what
// talpor-lote reads from them (batch::ParseCommandLine), so that the window and the
// command line cannot convert a file differently. The dialog shows that command line.
//
// A folder, or several files, are converted as talpor-lote converts them
// (batch::FolderRun): each file alone, with the layout found in it, into an output folder
// where each keeps its place. The dialog then lists the files found, offers the choices
// that apply to all of them (zone, method, result columns, decimal sign, format) and a
// folder as the destination.
//
// A whole project may go to one system ("Sistema de destino", talpor-lote's --destino):
// each file, layer and image from its own, the files that say none from the system the
// user gives for them (--origen) or refused. The choices that a target decides (the tab's
// direction, the zone, the WGS84 label) then leave the dialog and its arguments, and the
// folder's preview groups the files by the way each will go (batch::FolderPreview).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/FolderPreview.h"
#include "batch/FolderRun.h"
#include "layers/Layers.h"
#include "rasters/Rasters.h"
#include "batch/Stream.h"
#include "core/Grids.h"
#include "form/Controls.h"
#include "form/Platform.h"

namespace convert {

// The kinds of file the file dialogs offer: every form talpor-lote reads.
inline constexpr const char* kPointFiles =
    "Puntos, capas e imágenes (*.csv *.txt *.tsv *.dat *.xlsx *.ods *.xls *.gpx *.kml *.kmz *.shp *.gpkg *.geojson *.json "
    "*.dxf *.tab *.mif *.gml *.fgb *.sqlite *.tif *.tiff *.jpg *.jpeg *.png *.asc *.vrt *.jp2 *.j2k *.img *.bil *.bip *.bsq "
    "*.xyz *.ecw *.sid *.qgs *.qgz);;"
    "CSV y texto (*.csv *.txt *.tsv *.dat);;Hojas de cálculo (*.xlsx *.ods *.xls);;GPS (*.gpx *.kml *.kmz);;"
    "Capas SIG (*.shp *.gpkg *.geojson *.json *.dxf *.kml *.kmz *.tab *.mif *.gml *.fgb *.sqlite *.csv);;"
    "Imágenes y modelos de elevación (*.tif *.tiff *.jpg *.jpeg *.png *.asc *.vrt *.jp2 *.j2k *.img *.bil *.bip *.bsq *.xyz "
    "*.gpkg *.dat *.bin *.raw *.ecw *.sid);;Proyectos de QGIS, con sus capas (*.qgs *.qgz);;Todos los ficheros (*)";

class FileDialog {
  public:
    // `inputs`: the files or the folder chosen (none yet: empty); `tabZone`: the tab's
    // zone (29 to 31), offered for eastings and northings without one. The choices of
    // the last conversion (method, height kind and column, result columns, decimal sign)
    // come from the user's settings.
    FileDialog(form::Platform& platform, core::Grids& grids, core::Direction direction, int tabZone,
               const std::vector<std::string>& inputs);
    FileDialog(form::Platform& platform, core::Grids& grids, core::Direction direction, int tabZone,
               const std::string& input)
        : FileDialog(platform, grids, direction, tabZone,
                     input.empty() ? std::vector<std::string>{} : std::vector<std::string>{input}) {}

    form::FormModel& Model() { return model_; }

    // What the dialog does after the user changed `control` (Platform::ShowDialog):
    // "Examinar…" asks for one file or several, "Carpeta…" for a folder, and files or a
    // folder dropped on the dialog are taken as chosen; "Convertir" closes it accepted
    // once the choices can be run and the destinations that exist may be replaced (and
    // keeps them for the next time), "Cancelar" closes it; any other change shows the
    // input and the choices again.
    form::DialogEnd Changed(form::Control& control);

    // talpor-lote's arguments for the choices: options, inputs, "-o", destination.
    std::vector<std::string> Arguments() const;
    // The settings talpor-lote reads from Arguments(), with the window's grids.
    tables::Settings Settings() const;
    // The files or folder chosen, and the first of them.
    std::vector<std::string> Inputs() const;
    std::string Input() const;
    // The destination: a file, or the output folder of several files.
    std::string Output() const;
    // Whether the input is a folder or several files, converted into a folder.
    bool Several() const { return several_; }
    // A path of the input as the dialog names it: from the folder that holds the inputs
    // ("datos/rios.shp" for a file of the folder "…/datos").
    std::string Shown(const std::string& path) const;

    // The image options of Arguments() (--remuestrear, --formato=cog).
    rasters::RasterOptions Raster() const;

    // The system chosen to take everything to, where the input's kind offers one (a
    // folder, a layer, an image, a table); nullopt for the tab's direction. The system of
    // what says none, where it applies.
    std::optional<tables::CrsName> Target() const;
    std::optional<tables::CrsName> Origin() const;

    // Why the choices cannot be run yet, in one sentence about the dialog's own fields;
    // "" when "Convertir" can go.
    const std::string& Problem() const { return problem_; }

  private:
    void Build();
    void ReadInput();
    // The files of a folder or several inputs, found as the run will find them.
    void Scan();
    void ShowSeveral();
    // Whether the destinations of several files may be written: none exists, or the user
    // said so when asked, listing them, with "No" the default.
    bool SeveralReplaceAllowed();
    // The format list of the input's kind, the choice kept when it is the same list.
    void OfferFormats(const std::vector<std::string>& names);
    // The layers of a layer file, read with a progress window when it takes a while;
    // throws tables::RunError, or ReadCancelled when the user stops it.
    struct ReadCancelled {};
    std::vector<layers::LayerInfo> ReadLayers(const std::string& input);
    // `job` run with a progress of the worker reading `input`, shown when it takes a while;
    // throws ReadCancelled when the user stops it.
    template <class Job>
    auto WithProgress(const std::string& input, const Job& job);
    // Offers the destination for the input and the format chosen.
    void Suggest();
    // Shows the file and the choices: the preview, the layout found, the fields each
    // choice allows, what stops the run and the command line.
    void Update();
    void Show();
    // Its parts: the layout of the sample (or why there is none, in problem_), the height
    // column's list, the texts of the preview frame, and what else stops the run.
    std::optional<tables::Layout> SampleLayout();
    void ShowHeightColumns(const std::optional<tables::Layout>& layout);
    std::string Preview(const std::optional<tables::Layout>& layout) const;
    std::string LayoutText(const tables::Layout& layout) const;
    void CheckRun(const tables::Settings& settings, bool gps, bool anyOutput);
    void Remember();
    // Whether the destination may be written: it does not exist, or the user said so
    // when asked, the file's name and date in the question and "No" the default.
    bool ReplaceAllowed();
    // The layout of the sample for the choices, the height column left out when
    // `withHeight` is false; the zone is found to be missing on the way.
    tables::Layout FindLayout(bool withHeight);
    std::string Setting(const char* key) const;

    form::Platform& platform_;
    core::Grids& grids_;
    core::Direction direction_;
    int tabZone_;
    form::FormModel model_;
    std::optional<batch::Sample> sample_;
    // A workbook's sheets, named above the preview of the first that holds points.
    std::string sheetsLine_;
    tables::Format inputFormat_ = tables::Format::Text;  // of the file chosen
    // The layers of a layer file (Shapefile, GeoPackage, KML…), converted vertex by vertex.
    std::optional<std::vector<layers::LayerInfo>> layers_;
    void ShowLayers();
    // An image or a grid: what ConvertRaster will do with it, planned again when the
    // choices that change it change (`planned_`: the arguments it was planned for).
    std::optional<rasters::RasterSummary> image_;
    std::string planned_;
    std::string planProblem_;  // why it cannot be converted, when planning said so
    bool imageSaysNone_ = false;  // planned toward a target, it asked for the system of what says none
    void ShowImage();
    // The equivalent talpor-lote command under the fields.
    void ShowCommand();
    std::string readProblem_;  // why the input could not be read
    std::string suggested_;    // the destination offered for the input
    bool zoneMissing_ = false;  // the points are eastings and northings without a zone
    std::vector<std::string> heightColumns_;  // the height combo's items as arguments; "" first
    // The height column the user chose (or chose last time, or the one found by its
    // name), kept while another file or layout lacks it; "" for none.
    std::string heightWanted_;
    bool heightPicked_ = false;    // the user chose the column or its kind on this dialog
    bool heightFindable_ = false;  // the file's header names a height column
    std::vector<std::string> heightHeader_;  // the header the height items come from
    // The height item of a column (0: none); sets the kind the column's name says.
    std::size_t HeightItem(std::size_t column) const;
    void SetHeightKind(const std::vector<std::string>& header, const std::string& column);
    std::string problem_;
    // A folder or several files: the files found (some refused already, with why), or
    // why none can be converted.
    bool several_ = false;
    std::vector<batch::FolderFile> files_;
    std::string scanProblem_;
    // Toward a target: the files grouped by their way (read once a scan), and why the
    // grouping could not be made.
    std::optional<batch::FolderPreview> preview_;
    std::vector<batch::PreviewGroup> groups_;
    std::string previewProblem_;
    void GroupSeveral(const tables::Settings& settings);
    // Whether the origin list applies to the input: a folder, a table, an image, a layer
    // that says no system.
    bool OriginUsed() const;
    bool replaceAgreed_ = false;  // the user said the destinations that exist may be replaced
};

}  // namespace convert
