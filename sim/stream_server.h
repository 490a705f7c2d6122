#pragma once
// Serves a simulated device in real time over a file descriptor: the master side of a
// pseudo-terminal, or a TCP connection (as a serial device server would). Replies are paced
// at the configured baud rate (10 bit times per byte), or sent at once when it is 0.

#include <QString>
#include <atomic>

#include "sim_device.h"

namespace tavrel::sim {

// Runs until `stop` is set or the peer goes away (TCP). Returns false on an I/O error.
// `speedFd`: the pseudo-terminal's slave, whose speed the tool sets; with a paced line, bytes
// sent at another speed arrive as noise, as on a real UART (-1: a socket, no speed).
bool serveStream(SimDevice& device, int fd, int baud, const std::atomic<bool>& stop,
                 int speedFd = -1);

// Opens a pseudo-terminal in raw mode; returns the master fd (-1 on failure) and the slave's
// path. The slave stays open in `keepSlave` so the master never sees a hang-up between clients.
int openPseudoTerminal(QString* slavePath, int* keepSlave, QString* error);

// Listens on 127.0.0.1:port; returns the listening fd or -1.
int listenLoopback(int port, QString* error);

}  // namespace tavrel::sim
