// Exit statuses of vidorlan-convert.
#pragma once

enum ExitStatus {
  kExitDone = 0,
  kExitUsage = 1,
  kExitInputRefused = 2,
  kExitStartRefused = 3,
  kExitWriteError = 4,
  kExitReadError = 5,
  kExitInterrupted = 130,
};
