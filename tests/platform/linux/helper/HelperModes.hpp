#pragma once

// The modes of the diversion test helper, one program so that the tests can
// start each side of a scenario inside the namespace it belongs to.
namespace corvane::platform::testing {

// serve ADDRESS4 ADDRESS6: the "internet" side. TCP on 7, 8, 9 of both
// addresses greets with "peer <address of the client>\n" and then echoes;
// UDP on 7 and 53, bound exactly to each address, echoes.
int serve(int argc, char** argv);

// host [--check-ms N]: the machine under test, a diversion with a provider
// that passes TCP port 7 through, blocks port 9 and relays port 8 to a local
// echo; it takes every UDP flow (answering "relayed:" + payload as sent by
// the datagram's destination) except those of a program named
// "cvd-probe-direct", which it declines. Prints "ready" and one JSON line per
// flow it was offered; SIGUSR1 removes the settings ("removed").
int host(int argc, char** argv);

// probe tcp|udp HOST PORT PAYLOAD [twice]: one connection or datagram; prints
// one JSON line with what came back.
int probe(int argc, char** argv);

}  // namespace corvane::platform::testing
