// Names of the library's result codes, as hosts and logs know them.
#ifndef QUARVEL_TOOLS_CHECK_CODENAMES_H
#define QUARVEL_TOOLS_CHECK_CODENAMES_H

namespace codes {

// CheckRedirction (slot 8).
inline const char* RedirectionName(int code) {
  static const char* const kNames[] = {"NoTarget", "TargetFound", "TargetUnparsed", "NetworkUp"};
  return code >= 0 && code < 4 ? kNames[code] : "?";
}

// CheckNetDisconType (slot 9).
inline const char* DisconName(int code) {
  static const char* const kNames[] = {"Unclassified",   "ErrPassword",    "AccountExpire",
                                       "NetworkUp",      "AccountHalt",    "BindCheckErr",
                                       "LimitUserCount", "AccountHangDead"};
  return code >= 0 && code < 8 ? kNames[code] : "?";
}

}  // namespace codes

#endif
