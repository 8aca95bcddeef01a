// TEMPORARY stand-in: resumes at once.
#include "game/PausePanel.h"

namespace mekko {

int32_t showPausePanel(KelpaEngine::Application*, GameData*, KelpaEngine::Scene*) { return kPauseResume; }

}  // namespace mekko
