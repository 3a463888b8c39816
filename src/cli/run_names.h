#pragma once

#include <nlohmann/json.hpp>

#include "adaptor_tests/run_control.h"
#include "adaptor_tests/run_record.h"
#include "car_link/car_link_record.h"

// The words for a run's outcomes that scripts read, in the run's JSON and the bench's log.
NLOHMANN_JSON_SERIALIZE_ENUM(TestKind, {{TestKind::Fast, "fast"},
                                        {TestKind::Extended, "extended"},
                                        {TestKind::Car, "car"}})

NLOHMANN_JSON_SERIALIZE_ENUM(PhaseOutcome, {{PhaseOutcome::Passed, "passed"},
                                            {PhaseOutcome::TransmitTimeout, "transmit-timeout"},
                                            {PhaseOutcome::ReceiveTimeout, "receive-timeout"},
                                            {PhaseOutcome::CompareError, "compare-error"},
                                            {PhaseOutcome::PortNotOpen, "port-not-open"}})

NLOHMANN_JSON_SERIALIZE_ENUM(SpeedOutcome, {{SpeedOutcome::Passed, "passed"},
                                            {SpeedOutcome::NoData, "no-data"},
                                            {SpeedOutcome::OutOfRange, "out-of-range"},
                                            {SpeedOutcome::PortNotOpen, "port-not-open"},
                                            {SpeedOutcome::CompareError, "compare-error"}})

NLOHMANN_JSON_SERIALIZE_ENUM(Verdict, {{Verdict::Passed, "passed"},
                                       {Verdict::Failed, "failed"},
                                       {Verdict::Halted, "halted"},
                                       {Verdict::RateRefused, "rate-refused"}})

NLOHMANN_JSON_SERIALIZE_ENUM(CarAttempt::Outcome, {{CarAttempt::Outcome::Answered, "answered"},
                                                   {CarAttempt::Outcome::NoEcho, "no-echo"},
                                                   {CarAttempt::Outcome::EchoAltered, "echo-altered"},
                                                   {CarAttempt::Outcome::NoReply, "no-reply"},
                                                   {CarAttempt::Outcome::ReplyNotWhole, "reply-not-whole"},
                                                   {CarAttempt::Outcome::ReplyBadSum, "reply-bad-checksum"},
                                                   {CarAttempt::Outcome::ReplyLate, "reply-late"}})

NLOHMANN_JSON_SERIALIZE_ENUM(CarVerdict, {{CarVerdict::Answered, "answered"},
                                          {CarVerdict::OnlyEcho, "only-echo"},
                                          {CarVerdict::NoEcho, "no-echo"},
                                          {CarVerdict::EchoAltered, "echo-altered"},
                                          {CarVerdict::ReplyBroken, "reply-broken"},
                                          {CarVerdict::ReplyLate, "reply-late"},
                                          {CarVerdict::NoValidFrame, "no-valid-frame"},
                                          {CarVerdict::LineHeldLow, "line-held-low"},
                                          {CarVerdict::PortLost, "port-lost"},
                                          {CarVerdict::RateRefused, "rate-refused"},
                                          {CarVerdict::Halted, "halted"}})
