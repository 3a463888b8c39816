#pragma once

#include <vector>

#include "car_link/car_link_record.h"
#include "common/diagnosis.h"
#include "serial/port_identity.h"

// Why no ECU answered, and what to do, from what the test heard and from the adaptor's chip;
// nothing when one answered or the test was halted. A lost port and a refused rate are the
// adaptor's faults, named as the adaptor tests name them.
std::vector<Diagnosis> DiagnoseCarLink(const CarLinkRecord& record, const PortIdentity& identity, Reader reader);
