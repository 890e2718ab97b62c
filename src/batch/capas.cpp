// talpor-capas: the process the window and talpor-lote read layers in (batch/LayerWorker.h).
#include "batch/LayerWorker.h"

int main(int argc, char** argv) { return batch::LayerWorkerMain(argc, argv); }
