#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "adaptor_tests/run_control.h"
#include "adaptor_tests/run_record.h"
#include "serial/port_identity.h"

// One adaptor the bench took, as its log keeps it.
struct BenchResult {
  std::chrono::system_clock::time_point time;
  PortIdentity identity;
  std::string byId;  // the /dev/serial/by-id link it came as, when it has one
  TestKind test = TestKind::Fast;
  std::optional<RunRecord> record;  // none when the port could not be opened
  std::string openFailure;          // why it could not
};

// "passed", "failed", "halted", "rate-refused" as in the run's JSON, or "port-not-opened".
std::string BenchVerdict(const BenchResult& result);

// The log in CSV: the header's columns, then one line per adaptor.
inline constexpr char kCsvHeader[] =
    "time,serial_number,vendor_product,product,by_id,test,verdict,measured_rate,failed_phases,"
    "diagnosis";
std::string CsvRecord(const BenchResult& result);
// Nothing when a log's first line is the header, else why the file is no bench log.
std::optional<std::string> ForeignCsvLog(const std::string& firstLine);

// The log in JSON lines: the same columns as an object on one line, measured_rate a number or
// null, failed_phases a list, diagnosis a string or null.
std::string JsonRecord(const BenchResult& result);
std::optional<std::string> ForeignJsonLog(const std::string& firstLine);

// One CSV cell: quoted when it holds a comma, a quote or a space at an end; control characters
// become spaces, so that a record is one line whatever an adaptor reports; and a cell a
// spreadsheet would take for a formula starts with an apostrophe.
std::string CsvCell(std::string text);
