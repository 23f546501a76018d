# The tests that take seconds by design: they wait out the meter's own
# timeouts, run exchanges at the pace of the meter's line or run other
# programs whole. `ctest -LE slow` leaves them out. Read by ctest after the
# test cases of the executables are discovered (see CMakeLists.txt).
set_tests_properties(
  AcquisitionTest.SilentMeterFailsAfterTheFullTotalTimeout
  AcquisitionTest.StallLongerThanTheIntervalEndsTheRead
  SerialPortRead.IntervalTimeoutRunsOnlyAfterTheFirstByte
  SerialPortRead.TotalTimeoutCountsPerRequestedByteAndReturnsAShortCount
  SimLoadTest.ExtremeAndDegenerateSettingsStayInRange
  AcquireSignals.InterruptDuringAnExchangeLeavesACompleteLog
  CliStore.AServerStoppedDuringARunLosesNothingAndDoublesNothing
  PROPERTIES LABELS slow)
