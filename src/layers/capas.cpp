// talpor-capas: the process the window and talpor-lote read layers in (layers/LayerWorker.h).
#include "layers/LayerWorker.h"

int main(int argc, char** argv) { return batch::LayerWorkerMain(argc, argv); }
