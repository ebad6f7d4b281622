// What sets the two editions of the library apart in the code they share.
// Each edition links exactly one definition of kEdition.
#ifndef QUARVEL_SUPPORT_EDITION_H
#define QUARVEL_SUPPORT_EDITION_H

namespace quarvel {

// The numbers of Get's log lines; 0 where the edition writes no line.
struct GetLogNumbers {
  int start;           // "TZHttp::Get start！", after the texts are cleared
  int waitWriteFailed;  // "等待寫数据失败！"
  int sendFailed;      // "发送失败！"
  int sendDone;        // "发送成功！"
  int waitReadFailed;  // "等待读取数据失败！"
  int waitReadDone;    // "等待读取数据成功！"
  int headerFailed;    // "接收响应报头失败！"
  int headerDone;      // "接收响应报头成功！"
  int statusLineDone;  // "判断响应报头成功！"
  int bodyDone;        // "接收200响应包体成功！"
  int redirectDone;    // "接收302响应成功！"
  int finish;          // "TZHttp::Get finish！"; 0: "Get 退出！\n" as it is
};

struct Edition {
  bool purgeOldLogs;        // old log files are deleted at load
  int receiveTimeOutMs;     // SO_RCVTIMEO set on every connection; 0: none
  int peerClosedLogNumber;  // number of ReadHeader's "connection closed" line
  const char* defaultUrl;   // what Get fetches for empty text
  // The rules file's [Probe] section may name other probe and default pages
  // and one more network-up marker.
  bool readsProbeSection;
  // A header without CR LF ends Get (else the whole text is the status line).
  bool statusLineNeedsLineEnd;
  // The body of a "200 OK" is gathered from several receives (else one).
  bool gatherBody;
  GetLogNumbers get;
};

extern const Edition kEdition;

// The edition's unit start-ups in load order, and their tear-downs in reverse.
void StartUnits();
void StopUnits();

}  // namespace quarvel

#endif
