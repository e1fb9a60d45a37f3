#include "PlayerLog.h"

Q_LOGGING_CATEGORY(lcPlayer, "lumora.player", QtInfoMsg)
