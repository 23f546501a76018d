// Where the print service (CUPS) listens, whether it answers, and why a
// print job could not start, in words for the operator.
#pragma once

#include <QString>

namespace zx840 {

// The print server the print system talks to, as libcups finds it now
// ($CUPS_SERVER, the ServerName of the user's and the system's client.conf,
// the local socket, localhost): a local socket's path, or HOST:PORT (an
// IPv6 address in brackets).
QString PrintServerAddress();

// True when something accepts a connection at `address` (a local socket
// path, or HOST[:PORT] or [IPV6][:PORT] with 631 as the default port),
// within two seconds.
bool PrintServerAnswers(const QString& address);

// What the print system knows about the queues.
struct PrinterLookup {
    bool serverAnswers = true;
    QString serverAddress;
    QString defaultPrinter;      // empty when no default printer is set
    bool printerExists = false;  // the queue named exists
};

// One line that says why a job on `printerName` (the default printer when
// empty) could not start: the print service is not running, there is no
// default printer, no such printer, or the printer refused the job.
QString PrintFailureReason(const QString& printerName, const PrinterLookup& lookup);

}  // namespace zx840
