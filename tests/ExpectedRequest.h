// The request the library must send for a host and a path, byte for byte:
// six lines and the empty line, seven CR LF pairs and nothing else. One
// expectation for the native tests, the fuzzer and the Wine tests.
#ifndef QUARVEL_TESTS_EXPECTEDREQUEST_H
#define QUARVEL_TESTS_EXPECTEDREQUEST_H

#include <string>

namespace testdata {

inline std::string ExpectedRequest(const std::string& host, const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: " + host +
         "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; SLCC2; "
         ".NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; Media Center PC 6.0; "
         "InfoPath.3; .NET4.0C; Tablet PC 2.0)\r\nConnection: Keep-Alive\r\n\r\n";
}

}  // namespace testdata

#endif
