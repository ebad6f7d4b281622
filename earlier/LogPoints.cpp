// The earlier edition's log lines: every step of Get, the redirection check
// from start to finish with the page body, and the check's result.
#include "earlier/Edition.h"

namespace quarvel {

namespace {

using P = LogPoint;
using F = LogForm;

constexpr LogPointLine kLines[] = {
    {P::kGetStart, F::kNumbered, "TZHttp::Get start！", 535},
    {P::kSendFailed, F::kNumbered, "发送失败！", 569},
    {P::kSendDone, F::kNumbered, "发送成功！", 575},
    {P::kWaitReadDone, F::kNumbered, "等待读取数据成功！", 581},
    {P::kSocketError, F::kNumbered, "SOCKET_ERROR！", 0},
    {P::kPeerClosed, F::kNumbered, "连接已断开！", 317},
    {P::kHeaderFailed, F::kNumbered, "接收响应报头失败！", 588},
    {P::kHeaderDone, F::kNumbered, "接收响应报头成功！", 593},
    {P::kStatusLineDone, F::kNumbered, "判断响应报头成功！", 605},
    {P::kBodyDone, F::kNumbered, "接收200响应包体成功！", 614},
    {P::kRedirectDone, F::kNumbered, "接收302响应成功！", 623},
    {P::kGetFinish, F::kNumbered, "TZHttp::Get finish！", 631},
    {P::kCheckStart, F::kNumbered, "TZHttp::CheckRedirction start！", 659},
    {P::kFetched, F::kNumbered, "CheckRedirction start with get init data！", 669},
    {P::kStatusOk, F::kNumbered, "CheckRedirction iRsType Is 1！", 674},
    {P::kPageBody, F::kValue, nullptr, 0},
    {P::kStatusRedirect, F::kNumbered, "CheckRedirction iRsType Is 2！", 713},
    {P::kEmptyHeader, F::kNumbered, "CheckRedirction 接收报头为空！", 723},
    {P::kLocationFound, F::kNumbered, "CheckRedirction Pos Location Is succeed！", 732},
    {P::kLocationMissing, F::kNumbered, "CheckRedirction 定位 Location失败！", 743},
    {P::kCheckFinish, F::kNumbered, "TZHttp::CheckRedirction finish！", 748},
    {P::kDisconBegin, F::kNumbered, "CheckNetDisconType begin！", 755},
    {P::kCheckReturned, F::kNumbered, "CheckRedirction return is！", 0},
    {P::kTargetText, F::kValue, nullptr, 0},
};

}  // namespace

const LogPointTable kEarlierLogPoints = {kLines, sizeof kLines / sizeof kLines[0]};

}  // namespace quarvel
