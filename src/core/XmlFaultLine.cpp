#include "core/XmlFaultLine.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tsm {
namespace {

// Far deeper than any reader lets a document go (MSXML stops at 256 here): a hostile file of nothing but start tags
// must not cost a string per tag.
constexpr std::size_t kMostOpen = 4096;

[[nodiscard]] bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
[[nodiscard]] bool EndsName(char c) { return IsBlank(c) || c == '/' || c == '>' || c == '=' || c == '<'; }

// A walk of the text that counts lines as it goes. Every step either moves on or reports where it stopped.
class Walk {
public:
  explicit Walk(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
  }

  int Run() {
    while (at_ < text_.size()) {
      if (text_[at_] != '<') {
        if (!IsBlank(text_[at_]) && open_.empty()) return line_; // text outside the root
        Step();
        continue;
      }
      if (!Markup()) return tooDeep_ ? 0 : line_;
    }
    // An element left open, or no element at all: the reader reaches the end and stops there.
    return open_.empty() && rootSeen_ ? 0 : line_;
  }

private:
  void Step() {
    const char c = text_[at_++];
    if (c == '\n' || (c == '\r' && (at_ >= text_.size() || text_[at_] != '\n'))) ++line_;
  }
  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) Step();
  }
  [[nodiscard]] bool Next(std::string_view what) const { return text_.substr(at_, what.size()) == what; }
  // Moves past the next `end`; false, at the end of the text, when there is none.
  bool SkipPast(std::string_view end) {
    while (at_ < text_.size()) {
      if (Next(end)) {
        at_ += end.size();
        return true;
      }
      Step();
    }
    return false;
  }
  [[nodiscard]] std::string Name() {
    const std::size_t from = at_;
    while (at_ < text_.size() && !EndsName(text_[at_])) ++at_;
    return std::string(text_.substr(from, at_ - from));
  }

  // One piece of markup from its '<'; false where it goes wrong (the walk stands on the fault).
  bool Markup() {
    if (Next("<!--")) return SkipPast("-->");
    if (Next("<![CDATA[")) return !open_.empty() && SkipPast("]]>");
    if (Next("<?")) return SkipPast("?>");
    if (Next("<!")) return Declaration();
    if (Next("</")) return EndTag();
    return StartTag();
  }

  // A document type declaration, whose internal subset holds markup of its own and quoted literals.
  bool Declaration() {
    if (rootSeen_) return false;
    int depth = 0;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '"' || c == '\'') {
        Step();
        if (!SkipPast(std::string_view(&c, 1))) return false;
        continue;
      }
      Step();
      if (c == '<') ++depth;
      if (c == '>' && --depth == 0) return true;
    }
    return false;
  }

  bool EndTag() {
    at_ += 2;
    const std::string name = Name();
    SkipBlanks();
    if (open_.empty() || name != open_.back() || !Next(">")) return false;
    ++at_;
    open_.pop_back();
    return true;
  }

  bool StartTag() {
    ++at_;
    if (open_.empty() && rootSeen_) return false; // a second root
    const std::string name = Name();
    if (name.empty()) return false;
    for (;;) {
      const bool blank = at_ < text_.size() && IsBlank(text_[at_]);
      SkipBlanks();
      if (Next("/>")) {
        at_ += 2;
        rootSeen_ = true;
        return true;
      }
      if (Next(">")) {
        ++at_;
        rootSeen_ = true;
        if (open_.size() >= kMostOpen) {
          tooDeep_ = true; // what is wrong with a file this deep is the reader's to say
          return false;
        }
        open_.push_back(name);
        return true;
      }
      if (!blank || !Attribute()) return false;
    }
  }

  bool Attribute() {
    if (Name().empty()) return false;
    SkipBlanks();
    if (!Next("=")) return false;
    ++at_;
    SkipBlanks();
    if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) return false;
    const char quote = text_[at_++];
    while (at_ < text_.size() && text_[at_] != quote) {
      if (text_[at_] == '<') return false;
      Step();
    }
    if (at_ >= text_.size()) return false;
    ++at_;
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  bool rootSeen_ = false;
  bool tooDeep_ = false;
  std::vector<std::string> open_;
};

} // namespace

int XmlFaultLine(std::string_view document) { return Walk(document).Run(); }

} // namespace tsm
