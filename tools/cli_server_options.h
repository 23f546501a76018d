// The options both servers of the tool take (serve, web): where the server
// listens, who else may connect, how many at once, the store and the plan.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "plan/plan_file.h"
#include "remote/scpi_server.h"
#include "tools/cli_files.h"

namespace zx840 {

enum class ServerOption {
    Other,     // none of them: the command's own, if any
    Taken,     // read into the options
    Mistake,   // a value that is not one; the problem says why
    FileError  // the plan could not be read; said on `err`
};

// Reads `name` and `value` if they are one of --listen, --allow,
// --max-clients (into `server`: its address, port, allow and maxClients),
// --db or --plan.
template <typename Server>
ServerOption ReadServerOption(const std::string& name, const std::string& value, std::ostream& err,
                              Server* server, std::string* db, std::optional<TestPlan>* plan,
                              std::string* problem) {
    const auto read = [](bool ok) { return ok ? ServerOption::Taken : ServerOption::Mistake; };
    if (name == "--listen") {
        return read(ParseListenAddress(value, &server->address, &server->port, problem));
    }
    if (name == "--allow") {
        return read(ParseAllowList(value, server->allow, problem));
    }
    if (name == "--max-clients") {
        return read(ParseMaxClients(value, &server->maxClients, problem));
    }
    if (name == "--db") {
        *db = value;
        return ServerOption::Taken;
    }
    if (name == "--plan") {
        *plan = LoadPlan(value, err);
        return *plan ? ServerOption::Taken : ServerOption::FileError;
    }
    return ServerOption::Other;
}

}  // namespace zx840
