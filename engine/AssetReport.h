// Broken assets are said out loud: a picture, sound or font file that is
// missing or cannot be used gives one line on stderr with its asset name and
// the reason, the first time it is asked for (a scene that asks again every
// frame does not flood the log). Nothing else of the engine writes a log.
#pragma once

namespace KelpaEngine {

// Writes `KelpaEngine: broken asset "<name>": <reason>` unless that name was
// reported before. Null or empty names are not assets and are ignored. Any
// thread.
void reportBrokenAsset(const char* name, const char* reason);

}  // namespace KelpaEngine
