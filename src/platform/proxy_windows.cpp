#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "platform/proxy.h"
#include "platform/wide_text.h"

namespace kalu {

namespace {

struct GlobalText {
  LPWSTR text = nullptr;
  GlobalText() = default;
  GlobalText(const GlobalText&) = delete;
  GlobalText& operator=(const GlobalText&) = delete;
  ~GlobalText() {
    if (text) GlobalFree(text);
  }
  std::string Utf8() const { return text ? Utf8Of(text) : std::string(); }
};

struct InternetCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// The proxy the automatic configuration gives for the request: the PAC script at
// `configUrl`, or the one WPAD finds when `detect`. False when there is no answer (no
// script found, a script that fails), and the manual settings then apply.
bool AutomaticProxy(const ProxyTarget& target, bool detect, LPCWSTR configUrl, std::string& proxy) {
  InternetHandle session(WinHttpOpen(L"kalu-upgrade", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  // A script's server that does not answer must not hold the request for long.
  WinHttpSetTimeouts(session.get(), 5000, 5000, 5000, 5000);
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (detect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (configUrl && *configUrl) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = configUrl;
  }
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  const std::wstring url = WideOf(target.url);
  if (!WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info)) return false;
  GlobalText list, bypass;
  list.text = info.lpszProxy;
  bypass.text = info.lpszProxyBypass;
  proxy = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY
              ? ChooseProxy(list.Utf8(), bypass.Utf8(), target)
              : std::string();
  return true;
}

// The manual proxy as the values of the Internet settings' key hold it, which group
// policies and scripts set (ProxyEnable, ProxyServer, ProxyOverride); false when it is
// off or not there.
bool ManualProxyValues(std::string& list, std::string& bypass) {
  const wchar_t* const key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  DWORD enabled = 0;
  DWORD size = sizeof enabled;
  if (RegGetValueW(HKEY_CURRENT_USER, key, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr, &enabled,
                   &size) != ERROR_SUCCESS ||
      enabled == 0) {
    return false;
  }
  auto text = [&](const wchar_t* name) {
    wchar_t value[2048] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
        ERROR_SUCCESS) {
      return std::string();
    }
    return Utf8Of(value);
  };
  list = text(L"ProxyServer");
  bypass = text(L"ProxyOverride");
  return !list.empty();
}

}  // namespace

std::string SystemProxyFor(const ProxyTarget& target) {
  if (IsLoopbackHost(target.host)) return {};
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&settings)) return {};
  GlobalText configUrl, list, bypass;
  configUrl.text = settings.lpszAutoConfigUrl;
  list.text = settings.lpszProxy;
  bypass.text = settings.lpszProxyBypass;
  if (settings.fAutoDetect || configUrl.text) {
    std::string proxy;
    if (AutomaticProxy(target, settings.fAutoDetect != FALSE, configUrl.text, proxy)) return proxy;
  }
  std::string manual = list.Utf8(), exceptions = bypass.Utf8();
  // WinHTTP reads the connection's record, which the Settings app keeps; the values of the
  // key may be all a policy set.
  if (manual.empty()) ManualProxyValues(manual, exceptions);
  return ChooseProxy(manual, exceptions, target);
}

}  // namespace kalu
