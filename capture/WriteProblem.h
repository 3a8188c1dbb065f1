#pragma once

#include <QString>

// Why a file cannot be written into its folder, as a short sentence naming
// the folder ("folder /x/root/images is missing"), or empty when the folder
// is there and writable (the cause then lies elsewhere: a full disk, the
// camera). Used for the status bar's tooltip.
QString folderProblem(const QString& filePath);
