#pragma once
// After a search: the whole description of every controller whose clear answer
// told only its identity (it requires encryption), read sealed with the service
// passwords, all at once, for at most lookupTimeoutMs. A read refused under one
// password goes again under the next (crypto_sessions.h). Which reply answers
// which read is SealedReads's (sealed_reads.h); this sends and receives.
#include "platform/netservice/crypto/crypto_sessions.h"
#include "platform/netservice/records/controller_book.h"
#include "platform/netservice/transport/service_port.h"

namespace zelmar::net {

void readSealedDescriptions(ServicePort& port, CryptoSessions& sessions, ControllerBook& book);

}  // namespace zelmar::net
