#include "cli/verdict_banner.h"

namespace {

// The top and bottom halves of a double-height line (DECDHL); a terminal without them shows
// the line twice.
constexpr char kTopHalf[] = "\x1b#3";
constexpr char kBottomHalf[] = "\x1b#4";
constexpr char kGreenGround[] = "\x1b[1;97;42m";
constexpr char kRedGround[] = "\x1b[1;97;41m";
constexpr char kPlain[] = "\x1b[0m";

}  // namespace

std::string VerdictBanner(const std::string& word, bool passed, bool terminal) {
  const std::string text = "  " + word + "  ";
  if (!terminal) return "=====" + text + "=====\n";
  const std::string line = (passed ? kGreenGround : kRedGround) + text + kPlain + "\n";
  return std::string("\a") + kTopHalf + line + kBottomHalf + line;
}
