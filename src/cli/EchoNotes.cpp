#include "cli/EchoNotes.h"

#include <cstdio>

#include "comms/KovaComms.h"
#include "settings/FileNameBytes.h"

void SayWhenEchoFound(TKovaComms& link, const QString& port) {
  link.OnEchoFound = [port] {
    std::fprintf(stderr, "bootload-cli: %s\n", FileNameBytes(LineEchoesLine(port)).constData());
  };
}

QString LineEchoesLine(const QString& port) {
  return port + QStringLiteral(
                    ": the line echoes what is sent (half-duplex RS-485); the echo is taken out "
                    "of every reply");
}

QString EchoProblemNote(const QString& port, const EchoFilter& echo) {
  if (echo.Mode() == EchoMode::Off && echo.EchoSeenWhileOff()) {
    return port + QStringLiteral(
                      ": --echo off, but the line gave a request back before its reply (an "
                      "echo), so the program took it for the reply: use --echo auto");
  }
  if (echo.Mode() == EchoMode::On && !echo.EchoConfirmed() && echo.DamagedEchoes() > 0) {
    return port + QStringLiteral(
                      ": --echo on, but no request came back as its echo: the line does not "
                      "echo, and the replies were taken for damaged echoes: use --echo auto");
  }
  if (echo.DamagedEchoes() > 0) {
    return port + QStringLiteral(
                      ": %1 of %2 requests came back with a damaged echo (a collision or noise "
                      "on the bus) and failed as damaged replies do: check the bus wiring and "
                      "termination, and that no other master sends on it")
                      .arg(echo.DamagedEchoes())
                      .arg(echo.DamagedEchoes() + echo.IntactEchoes());
  }
  return {};
}
