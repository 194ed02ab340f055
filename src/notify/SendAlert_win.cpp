#include "notify/SendAlert.h"

#include "notify/Charset.h"
#include "notify/HttpRequest.h"

namespace uptorra {

Text SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
               const Text& displayName, const Text& probeType) {
  Bytes body = TextToUtf8(BuildPushBody(appToken, topicId, timeText, address, displayName, probeType));
  HttpRequestParams request;
  request.url = PushApiUrl();
  request.method = kMethodPost;
  request.extraHeaders = "Content-Type:application/json";
  request.body = &body;
  // The body carries the application token: over https the server must prove who it is.
  request.verifyCertificates = true;
  const Bytes answer = HttpRequest(request);
  return TextOf(ConvertCharset(answer));
}

}  // namespace uptorra
