#pragma once
// The "korvane.effects" logging category. Debug and info lines are off unless a host turns them on
// (QT_LOGGING_RULES="korvane.effects.debug=true" or QLoggingCategory::setFilterRules); warnings and
// errors are always on.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcEffects)
