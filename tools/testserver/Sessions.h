#pragma once

#include "Connection.h"
#include "ServerOptions.h"

namespace tapewell::testserver {

// Each serves one accepted connection to its end, on the calling thread.
void ServeHttp(Connection& connection, const ServerOptions& options);
void ServeMms(Connection& connection, const ServerOptions& options);

}  // namespace tapewell::testserver
