#include "nodes/nodeslogging.h"

Q_LOGGING_CATEGORY(lcNodes, "korvane.nodes", QtWarningMsg)
