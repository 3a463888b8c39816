#include "adaptor_tests/diagnosis_text.h"

#include <sstream>

namespace {

// label, then the words of text, breaking lines at spaces and indenting them under the first.
std::string Labelled(const std::string& label, const std::string& text, std::size_t columns) {
  const std::string indent(label.size(), ' ');
  std::string lines = label;
  std::size_t column = label.size();
  bool lineEmpty = true;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (!lineEmpty && column + 1 + word.size() > columns) {
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

std::string DiagnosisText(const std::vector<Diagnosis>& diagnoses, std::size_t columns) {
  std::string text = "\nDiagnosis\n";
  for (std::size_t i = 0; i < diagnoses.size(); ++i) {
    text += Labelled(i == 0 ? "  Likely cause: " : "  Also found:   ", diagnoses[i].cause, columns) +
            Labelled("  What to do:   ", diagnoses[i].fix, columns);
  }
  return text;
}
