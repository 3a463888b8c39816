#include "cli/diagnosis_text.h"

#include <sstream>

namespace {

constexpr std::size_t kWidth = 78;

// label, then the words of text, breaking lines at spaces and indenting them under the first.
std::string Labelled(const std::string& label, const std::string& text) {
  const std::string indent(label.size(), ' ');
  std::string lines = label;
  std::size_t column = label.size();
  bool lineEmpty = true;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (!lineEmpty && column + 1 + word.size() > kWidth) {
      lines += "\n" + indent;
      column = indent.size();
      lineEmpty = true;
    }
    if (!lineEmpty) {
      lines += ' ';
      ++column;
    }
    lines += word;
    column += word.size();
    lineEmpty = false;
  }
  return lines + "\n";
}

}  // namespace

std::string DiagnosisText(const Diagnosis& diagnosis) {
  return "\nDiagnosis\n" + Labelled("  Likely cause: ", diagnosis.cause) +
         Labelled("  What to do:   ", diagnosis.fix);
}
