#include "CatalogueLog.h"

Q_LOGGING_CATEGORY(lcCatalogue, "lumora.catalogue")
