#include "gpu/gpulogging.h"

Q_LOGGING_CATEGORY(lcGpu, "korvane.gpu", QtWarningMsg)
