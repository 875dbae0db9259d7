// Where the panel logs what a shop's owner may want to know afterwards.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPanel)
