#pragma once

#include <QLoggingCategory>

// Everything the catalogue has to say about the list files goes through this
// category ("lumora.catalogue"), one line per problem, in Chinese.
Q_DECLARE_LOGGING_CATEGORY(lcCatalogue)
