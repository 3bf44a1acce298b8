#pragma once

// The modes of the diversion test helper, one program so that the tests can
// start each side of a scenario inside the namespace it belongs to.
namespace corvane::platform::testing {

// serve ADDRESS4 ADDRESS6: the "internet" side. TCP on 7, 8, 9 of both
// addresses greets with "peer <address of the client>\n" and then echoes;
// UDP on 7 and 53, bound exactly to each address, echoes.
int serve(int argc, char** argv);

// host [--check-ms N] [--udp-flow-limit N] [--no-socket-watch]: the machine
// under test, a diversion with a provider that passes TCP port 7 through,
// blocks port 9 and relays port 8 to a local echo; it takes every UDP flow
// (answering "relayed:" + payload as sent by the datagram's destination)
// except those of a program named "cvd-probe-direct", which it declines.
// Prints "ready" and one JSON line per flow it was offered, and "udp-end"
// with the count and the first of its datagrams when a UDP flow ends;
// SIGUSR1 removes the settings ("removed").
int host(int argc, char** argv);

// probe tcp|udp HOST PORT PAYLOAD [twice]: one connection or datagram; prints
// one JSON line with what came back.
// probe udp-fire HOST PORT PAYLOAD COUNT: COUNT datagrams (PAYLOAD, then
// PAYLOAD-1, ...) from one socket, closed at once without waiting for answers.
// probe udp-storm HOST PORT SOURCES: one socket sends a datagram and waits for
// its answer; then SOURCES new sockets send one datagram each while the first
// sends one of every ten; prints how many answers that first socket got of how
// many it sent.
int probe(int argc, char** argv);

}  // namespace corvane::platform::testing
