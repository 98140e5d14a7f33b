#include "platform/proxy.h"

#include <vector>

#include "runtime/text.h"

namespace kalu {

namespace {

// The entries of a list apart by any of `separators`, blanks around them dropped.
std::vector<std::string_view> Entries(std::string_view list, std::string_view separators) {
  std::vector<std::string_view> entries;
  while (!list.empty()) {
    const std::size_t end = list.find_first_of(separators);
    std::string_view entry = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
      entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    if (!entry.empty()) entries.push_back(entry);
  }
  return entries;
}

// `pattern` against `text` without regard to case, '*' matching any text.
bool Matches(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && ToLower(pattern.substr(p, 1)) == ToLower(text.substr(t, 1))) {
      ++p, ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool Bypassed(std::string_view bypass, std::string_view host) {
  for (std::string_view entry : Entries(bypass, "; \t")) {
    if (EqualsIgnoreCase(entry, "<local>")) {
      if (host.find('.') == std::string_view::npos) return true;
      continue;
    }
    // An entry may name the scheme ("http://intranet") or a port ("intranet:8080").
    if (const std::size_t scheme = entry.find("://"); scheme != std::string_view::npos) {
      entry.remove_prefix(scheme + 3);
    }
    if (const std::size_t colon = entry.rfind(':');
        colon != std::string_view::npos && entry.find(':') == colon) {
      entry = entry.substr(0, colon);
    }
    if (Matches(entry, host)) return true;
  }
  return false;
}

}  // namespace

bool IsLoopbackHost(std::string_view host) {
  return EqualsIgnoreCase(host, "localhost") || host.starts_with("127.") || host == "::1" ||
         host == "[::1]";
}

std::string ProxyUrl(std::string_view proxy) {
  if (proxy.find("://") != std::string_view::npos) return std::string(proxy);
  return "http://" + std::string(proxy);
}

std::string ProxyShown(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t at = url.find('@', start);
  if (at == std::string_view::npos || url.find('/', start) < at) return std::string(url);
  return std::string(url.substr(0, start)) + std::string(url.substr(at + 1));
}

std::string ChooseProxy(std::string_view list, std::string_view bypass, const ProxyTarget& target) {
  if (IsLoopbackHost(target.host) || Bypassed(bypass, target.host)) return {};
  std::string_view plain, forScheme, socks;
  for (std::string_view entry : Entries(list, "; \t")) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (plain.empty()) plain = entry;
      continue;
    }
    const std::string_view scheme = entry.substr(0, equals);
    const std::string_view proxy = entry.substr(equals + 1);
    if (EqualsIgnoreCase(scheme, target.scheme) && forScheme.empty()) forScheme = proxy;
    if (EqualsIgnoreCase(scheme, "socks") && socks.empty()) socks = proxy;
  }
  if (!forScheme.empty()) return ProxyUrl(forScheme);
  if (!plain.empty()) return ProxyUrl(plain);
  // Windows' "socks=" is a SOCKS version 4 proxy.
  if (!socks.empty())
    return socks.find("://") == std::string_view::npos ? "socks4://" + std::string(socks)
                                                       : std::string(socks);
  return {};
}

bool InNoProxyList(std::string_view noProxy, std::string_view host) {
  for (std::string_view entry : Entries(noProxy, ", \t")) {
    if (entry == "*") return true;
    if (entry.front() == '.') entry.remove_prefix(1);
    if (EqualsIgnoreCase(entry, host)) return true;
    if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
        EqualsIgnoreCase(host.substr(host.size() - entry.size()), entry)) {
      return true;
    }
  }
  return false;
}

}  // namespace kalu
