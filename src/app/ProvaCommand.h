// "velmora prova": the connection test for whoever sets Velmora up. Reads
// QLBSetup.txt, checks its five addresses, logs in and out at the service
// and says in Italian whether the addresses and the credentials work. Sends
// no document and writes no file.
#pragma once

#include "app/BatchMode.h"
#include "platform/FileStore.h"
#include "platform/Http.h"

namespace velmora {

// The "prova" entry of the command table; exit status 0 when the login and
// the logout worked, kExitFailed otherwise.
BatchCommand MakeProvaCommand(const FileStore& files, HttpTransport& http);

}  // namespace velmora
