#pragma once

#include <QString>

class EchoFilter;
class TKovaComms;

// Says on standard error, once, when the echo of the link's line is first
// taken out; from the link's thread.
void SayWhenEchoFound(TKovaComms& link, const QString& port);

// The line of --info on a line that echoes.
QString LineEchoesLine(const QString& port);

// What went wrong with the line's echo over a run, and what to do, in one
// line for standard error; empty when nothing did.
QString EchoProblemNote(const QString& port, const EchoFilter& echo);
