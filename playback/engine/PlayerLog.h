#pragma once

#include <QLoggingCategory>

// Messages of the player layer on stderr: engine failures, refused addresses.
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)
