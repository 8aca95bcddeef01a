// Where the engine finds its asset files and keeps its data files. The host
// sets both folders at start-up, before the game thread runs; tests point
// them at a temporary folder.
#pragma once

#include <string>

namespace KelpaEngine::iOS {

// The folder holding the asset files themselves (the "Assets.bundle"
// folder). Null or "" clears it; with no folder set every asset lookup fails.
void setAssetFolder(const char* folder);
std::string assetFolder();

// The folder for save files (the app's Documents folder). Null or "" clears it.
void setDocumentsFolder(const char* folder);
std::string documentsFolder();

// Full path of an asset file: the asset folder joined with the file name.
// "" when no folder is set, the name is null or empty, or the result would
// not fit a file-system path (PATH_MAX including its NUL).
std::string hostAssetPath(const char* fileName);

// The Documents folder as set by the host ("" when unset).
std::string hostDocumentsPath();

}  // namespace KelpaEngine::iOS
