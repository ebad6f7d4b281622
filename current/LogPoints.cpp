// The current edition's log lines: Get logs only its failures and closes
// with a line of text; the checks log what they found.
#include "current/Edition.h"

namespace quarvel {

namespace {

using P = LogPoint;
using F = LogForm;

constexpr LogPointLine kLines[] = {
    {P::kWaitWriteFailed, F::kNumbered, "等待寫数据失败！", 528},
    {P::kSendFailed, F::kNumbered, "发送失败！", 538},
    {P::kWaitReadFailed, F::kNumbered, "等待读取数据失败！", 545},
    {P::kSocketError, F::kNumbered, "SOCKET_ERROR！", 0},
    {P::kPeerClosed, F::kNumbered, "连接已断开！", 285},
    {P::kHeaderFailed, F::kNumbered, "接收响应报头失败！", 552},
    {P::kGetFinish, F::kText, "Get 退出！\n", 0},
    {P::kEmptyBody, F::kText, "获取到的包体为空。\n", 0},
    {P::kNetworkUp, F::kText, "网络通。\n", 0},
    {P::kUnparsed, F::kText, "解析失败。\n", 0},
    {P::kEmptyHeader, F::kNumbered, "CheckRedirction 接收报头为空！", 704},
    {P::kLocationFound, F::kNumbered, "CheckRedirction Pos Location Is succeed！", 713},
    {P::kLocationMissing, F::kNumbered, "CheckRedirction 定位 Location失败！", 723},
    {P::kRulesFileMissing, F::kNumbered, "Quarvel.ini is not exists!", 751},
    {P::kTargetLine, F::kWithValue, "获取到的重定向地址为：", 758},
    {P::kCannotParse, F::kCompact,
     "该断网类型位置或者断网转向的方式发生变化以致无法解析出断网的地址。", 778},
    {P::kProbeUrlRefused, F::kText,
     "Quarvel.ini [Probe] Url is no http:// address a request can be sent to: the built-in "
     "probe page is used.\n", 0},
    {P::kIpLocationUrlRefused, F::kText,
     "Quarvel.ini [Probe] IpLocationUrl is no http:// address a request can be sent to: the "
     "built-in IP-location page is used.\n", 0},
    {P::kMarkerRefused, F::kText,
     "Quarvel.ini [Probe] Marker is longer than any page body the library keeps: it never "
     "matches.\n", 0},
    {P::kTimeLimitRefused, F::kText,
     "Quarvel.ini [Probe] TimeLimitMs is no whole number of milliseconds from 1 to 600000: "
     "calls run without a time limit.\n", 0},
    {P::kExpectRefused, F::kText,
     "Quarvel.ini [Probe] Expect is neither 204 nor marker: only a page's marker proves the "
     "network up.\n", 0},
    {P::kTimeLimitEnded, F::kText,
     "Quarvel.ini [Probe] TimeLimitMs ran out: the time limit ended this call.\n", 0},
};

}  // namespace

const LogPointTable kCurrentLogPoints = {kLines, sizeof kLines / sizeof kLines[0]};

}  // namespace quarvel
