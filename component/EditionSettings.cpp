#include "component/Edition.h"
#include "support/Settings.h"

namespace quarvel {

void EditionProbeSettings(const Edition& edition, const RulesSource* rules,
                          ProbeSettings* settings) {
  BuiltInProbeSettings(kProbeUrl, edition.defaultUrl, settings);
  if (edition.readsProbeSection && rules != nullptr) {
    ReadProbeSettings(*rules, kProbeUrl, edition.defaultUrl, settings);
  }
  if (!edition.ipLocationMarkerCounts) settings->ipLocationMarker = nullptr;
}

}  // namespace quarvel
