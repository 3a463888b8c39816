#include "chip.h"

std::unique_ptr<Chip> MakeChip(const std::string& name) {
  if (name == "cp2102") return MakeCp210x(false);
  if (name == "cp2102n") return MakeCp210x(true);
  if (name == "ch340") return MakeCh340();
  if (name == "pl2303") return MakePl2303();
  if (name == "cdc-acm") return MakeCdcAcm();
  return nullptr;
}
