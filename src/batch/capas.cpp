// talpor-capas: the process the window and talpor-lote read layers and images in
// (layers/LayerWorker.h).
#include "layers/LayerWorker.h"
#include "rasters/Rasters.h"

int main(int argc, char** argv) { return layers::LayerWorkerMain(argc, argv, rasters::RasterJob); }
