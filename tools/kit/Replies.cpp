#include "tools/kit/Replies.h"

#include "tools/scenario/ScenarioServer.h"

namespace kit {

std::string Ok200(const std::string& body, const std::vector<std::string>& headers) {
  return scenario::HttpResponse("HTTP/1.1 200 OK", headers, body);
}

std::string Found302(const std::string& location, const std::vector<std::string>& more) {
  std::vector<std::string> headers{"Location: " + location};
  headers.insert(headers.end(), more.begin(), more.end());
  return scenario::HttpResponse("HTTP/1.1 302 Found", headers, "");
}

std::string NotFound404(const std::vector<std::string>& headers, const std::string& body) {
  return scenario::HttpResponse("HTTP/1.1 404 Not Found", headers, body);
}

}  // namespace kit
