#include "engine/enginelogging.h"

Q_LOGGING_CATEGORY(lcEngine, "korvane.engine", QtWarningMsg)
