#include "pages.h"

#include <algorithm>

#include "console.h"
#include "platform/file.h"
#include "platform/text.h"

namespace pagimor::pack {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// The attributes of the tag whose name ends at `at`, up to its '>'; sets
// `at` past the tag. Names are lower case (the whole page is by now).
std::vector<std::pair<std::string, std::string>> Attributes(std::string_view page, std::size_t& at) {
  std::vector<std::pair<std::string, std::string>> attributes;
  while (at < page.size()) {
    while (at < page.size() && (IsSpace(page[at]) || page[at] == '/')) ++at;
    if (at >= page.size() || page[at] == '>') break;
    const std::size_t nameStart = at;
    while (at < page.size() && !IsSpace(page[at]) && page[at] != '=' && page[at] != '>' && page[at] != '/') ++at;
    std::string name(page.substr(nameStart, at - nameStart));
    while (at < page.size() && IsSpace(page[at])) ++at;
    std::string value;
    if (at < page.size() && page[at] == '=') {
      ++at;
      while (at < page.size() && IsSpace(page[at])) ++at;
      if (at < page.size() && (page[at] == '"' || page[at] == '\'')) {
        const char quote = page[at++];
        const std::size_t end = std::min(page.find(quote, at), page.size());
        value = page.substr(at, end - at);
        at = end + 1;
      } else {
        const std::size_t valueStart = at;
        while (at < page.size() && !IsSpace(page[at]) && page[at] != '>') ++at;
        value = page.substr(valueStart, at - valueStart);
      }
    }
    if (!name.empty()) attributes.emplace_back(std::move(name), std::move(value));
  }
  ++at;
  return attributes;
}

bool IsModernModeMeta(const std::vector<std::pair<std::string, std::string>>& attributes) {
  bool compatible = false;
  bool edge = false;
  for (const auto& [name, value] : attributes) {
    if (name == "http-equiv") compatible = Trim(value) == "x-ua-compatible";
    if (name == "content") edge = value.find("ie=edge") != std::string::npos;
  }
  return compatible && edge;
}

}  // namespace

bool IsHtmlPage(std::string_view utf8Name) {
  const std::string lower = LowerAscii(utf8Name);
  return lower.ends_with(".html") || lower.ends_with(".htm");
}

bool LacksModernMode(std::string_view original) {
  const std::string page = LowerAscii(original);
  std::size_t at = 0;
  while ((at = page.find('<', at)) != std::string::npos) {
    const std::string_view rest = std::string_view(page).substr(at);
    if (rest.starts_with("<!--")) {
      const std::size_t end = page.find("-->", at + 4);
      if (end == std::string::npos) break;
      at = end + 3;
      continue;
    }
    if (rest.starts_with("</head") || rest.starts_with("<body")) break;
    if (rest.starts_with("<meta") && rest.size() > 5 && (IsSpace(rest[5]) || rest[5] == '/' || rest[5] == '>')) {
      at += 5;
      if (IsModernModeMeta(Attributes(page, at))) return false;
      continue;
    }
    ++at;
  }
  return true;
}

void WarnOldMode(const std::string& what) {
  Complain("warning: " + what +
           ": its <head> has no <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">, so the Windows viewer "
           "shows it in an old compatibility mode (as an old Internet Explorer would, without fetch())");
}

void WarnIfOldModePage(const std::u16string& filePath, const std::string& utf8Name, const std::string& what) {
  if (!IsHtmlPage(utf8Name)) return;
  const fs::InputFile file(filePath);
  std::string head(kPageHeadLimit, '\0');
  const std::int64_t got =
      file.is_open() ? file.ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(head.data()), head.size())) : -1;
  if (got < 0) return;  // packing the file will say what is wrong with it
  head.resize(static_cast<std::size_t>(got));
  if (LacksModernMode(head)) WarnOldMode(what);
}

std::string IndexLetterCaseHint(const std::vector<std::u16string>& names) {
  for (const std::u16string& name : names) {
    if (name.size() == 10 && LowerAscii(ToUtf8(name)) == "index.html") {
      return "; it has " + ToUtf8(name) +
             ", but a book's names keep their letter case everywhere: rename it to index.html";
    }
  }
  return {};
}

}  // namespace pagimor::pack
