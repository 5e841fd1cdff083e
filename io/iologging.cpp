#include "io/iologging.h"

Q_LOGGING_CATEGORY(lcIo, "korvane.io", QtWarningMsg)
