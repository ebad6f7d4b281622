// Whole response texts for scenario::Respond and kin: what the tests, the
// bench and the simulator have their servers answer. Test code: quarvel-check
// does not link it.
#ifndef QUARVEL_TOOLS_KIT_REPLIES_H
#define QUARVEL_TOOLS_KIT_REPLIES_H

#include <string>
#include <vector>

namespace kit {

std::string Ok200(const std::string& body, const std::vector<std::string>& headers = {});
std::string Found302(const std::string& location, const std::vector<std::string>& more = {});
std::string NotFound404(const std::vector<std::string>& headers = {}, const std::string& body = "");

}  // namespace kit

#endif
