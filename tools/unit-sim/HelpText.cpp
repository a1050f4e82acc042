#include "Options.h"

namespace unitsim {

const char* const HelpText = R"(Usage: unit-sim [options]

Plays the unit on a serial line: its firmware, a Modbus RTU slave, and after boot
entry its boot loader, which erases and programs 64 KiB of program memory.

By default it makes a pseudo-terminal and prints the path of its slave side as the
first line of standard output: give the program that path (for example
COM1=/dev/pts/5 in section [Ports] of Bootload.Ini). It holds a descriptor of that
slave side itself, so the program closing and reopening the port never hangs the
line up. It hears only bytes sent while the other side is set to the speed the
unit listens at, and notes other bytes as "ignored":
  firmware      9600 bit/s  (800000 for model 1121)
  boot loader 115200 bit/s  (92160 for model 1121)
It works on one request at a time: bytes that arrive between a request and the end
of its reply are not heard (noted as "busy"). After 50 ms without a byte, an
incomplete frame is given up.

Line
  --device PATH         serve on this serial device instead; the unit then sets
                        the line speed itself, every byte read counts as heard,
                        and a kind F unit starts in its boot loader
  --pty-fd FD           serve the pseudo-terminal whose master is the inherited
                        descriptor FD; a caller that keeps it open gives units
                        started one after another the same port
  --pace                give bytes the line's byte rate (10 bits a byte) both ways:
                        replies go out at that rate, and a reply starts only
                        once the request's bytes would have arrived
  --echo                the line gives back every byte it receives, before any
                        reply, as a 2-wire RS-485 adapter with its receiver
                        always on does (at whatever speed the bytes were sent)

Unit
  --model N             model number, reported by the firmware (register 20) and
                        the boot loader (command 0); it also chooses the boot-entry
                        kind and the speeds (default 4001)
  --version N           firmware version, register 21 (default 2100)
  --new-version N       version reported after the boot loader restarts the unit
                        (default 2110)
  --boot-rm N           the boot loader's own RM number, command 8 (default 9001)
  --boot-version N      the boot loader's version, command 8 (default 103)
  --slave-address N     address of the kind G boot-entry request, 1 to 247
                        (default 1)
  --entry-request first|second
                        for kinds A and E: which of the two requests switches the
                        unit (default first for A, second for E)
  --erase-ms N          time an erase takes before its reply (default 0)
  --row-ms N            time programming a row takes before its reply (default 0)
  --start-in-boot-loader
                        start in the boot loader, as a unit that an interrupted
                        update left there (with --memory-in, the memory it left)

Memory and transcript
  --memory-in FILE      initial program memory: the file's bytes from address 0,
                        at most 65536 (the rest stays 0xFF; default all 0xFF)
  --memory-out FILE     program memory (65536 bytes) written here on exit and on
                        SIGUSR1
  --transcript FILE     the transcript goes here instead of standard output
  --control FIFO        make the FIFO (or take an existing one) and read commands
                        from it, one a line, to take the unit off the line and put
                        a fresh one on, as an operator does at a fixture:
                          off            nothing on the line answers; what arrives
                                         is noted as "off-line"
                          on [OPTIONS]   a fresh unit: the first unit's options
                                         with the unit options given on top, for
                                         example on --version 2110 or
                                         on --start-in-boot-loader; its faults,
                                         boot loader start and memory (--memory-in,
                                         else all 0xFF) are its own
                        (echo off > FIFO); a command that cannot be carried out
                        is noted as "control refused: ..."
  --timestamps          start every transcript line with the time it was written
                        (seconds of the monotonic clock, as CLOCK_MONOTONIC), and
                        note "sent" when a reply's last byte has gone out

Faults
  --fault KIND:WHAT:N   (repeatable) inject a fault into the Nth exchange of WHAT
                        (1-based; * for every one); for example no-reply:erase:3
  --late-ms N           how late a late reply is (default 3500)

  WHAT is one of: read (function 3), write (6 and 103), write-many (104),
  other-function (any other function), info (boot command 8), model (command 0,
  count 2), erase (3), program (2), leave (5), restart (command 0, count 0), or
  any (every exchange, counted together). Only requests the unit answers count:
  not broadcasts, not requests to addresses it does not serve, not boot frames it
  refuses.

  KIND is one of:
    no-reply        the request takes effect, but nothing is sent
    bad-check       the reply's CRC (Modbus) or checksum (boot loader) is wrong
    exception       Modbus only: exception reply with code 4 instead; no effect
    split           the reply goes out in 3 pieces, 30 ms apart
    noise           the bytes FF FE F8 go out before the reply
    other-model     read and model only: the model number reported is one more
    late            the reply goes out --late-ms after the request
    hangup          the unit leaves the line instead of carrying the request out:
                    it closes its side (the pseudo-terminal is gone) but keeps
                    running, so SIGUSR1 and SIGTERM still write the memory out
    more-registers  read only: the reply carries one register more than asked
    wrong-echo      write and write-many only: the echo carries the value (or
                    count) with every bit inverted
    short           the reply lacks its last data byte, though its count or byte
                    count announces it (check recomputed); not for restart
    trailing        the byte A5 follows the reply
    flood           2 MiB of the byte FF follow the reply (not shown in the
                    transcript); the unit hears nothing until they are out
    damaged-echo    with --echo: the line gives the request back with its
                    middle byte inverted; the unit heard it whole and answers

Firmware (Modbus RTU)
  Functions 3 (read), 6 and 103 (write one register; the reply echoes the
  request) and 104 (write several, laid out as function 16; the reply gives the
  first register and the count). Slaves and registers:
    19  20 model, 21 version (read only); 22 to 32 kept settings, 29 being the
        command register
    17  24 kept setting
    20  7 to 28 kept settings
  Every kept setting starts as slave x 100 + register (slave 19 register 22 holds
  1922); after the boot loader restarts the unit they all read 65535 (0xFFFF),
  so that settings written back can be told from defaults. Exception replies:
  code 1 for another function, 2 for a register not served, 3 for a bad count.
  Requests to other addresses get no reply, and nothing sent to the broadcast
  address 0 is ever answered. CommitKey 0x7E59 written to slave 19 register 29
  is noted as "commit".

  Boot entry: BootEntryKey 0x5C3A written to the register of the model's kind
  (slave, function, register); other values written there do not start it, and
  a boot-entry write that is answered gets its echo before the unit switches.
    A  1101 1102            1, 6, 156 then 0, 6, 156
    B  1103 to 1119         19, 103, 29
    C  1120                 242, 6, 13
    D  2000                 1, 103, 8
    E  1121                 1, 103, 8 then 2, 103, 5
    F  1122                 no request: the unit enters its boot loader when it
                            hears bytes while the line is at the boot loader speed
    G  4001                 --slave-address, 103, 151
    H  3001                 1, 103, 2
  Another model has no boot entry.

Boot loader (DLE STX, body with every 0x10 doubled, DLE ETX; the body is
command, count, data and a checksum that makes its 8-bit sum 0)
    8            information: reply data RM number, version (2 bytes each)
    0, count 2   model number: reply data the model (2 bytes)
    3, count 8   erase the 512-byte block at address lo, hi, 00: reply data the
                 address and five zero bytes
    2, count 2   program the 128-byte row at address lo, hi, 00 (then the 128
                 bytes): reply data the address lo, hi. Programming only clears
                 bits, as flash does: a row not erased first keeps its zeros
    5, count 1   leave boot mode, data FF 03 00 00: reply data 00
    0, count 0   restart: the reply, then the firmware at its speed, reporting
                 --new-version, its kept settings at their defaults
  Addresses below 0x0800 hold the boot loader itself and are refused. A frame
  with a wrong checksum, or a request the boot loader does not take, gets no
  reply (noted as "bad-checksum" or "refused ...").

Transcript: one line per frame or event, flushed at once
  start model M version V boot-entry K firmware|boot-loader SPEED
  rx SPEED BYTES        a frame heard (boot frames as on the line, doubled)
  tx SPEED BYTES        a reply sent (noted when its first byte goes out)
  sent                  with --timestamps: the reply's last byte has gone out
  ignored SPEED BYTES   bytes sent while the line was at another speed
  busy SPEED BYTES      bytes that arrived while the unit was working on a request
  skipped SPEED BYTES   bytes heard that form no frame
  echo SPEED BYTES      with --echo: bytes the line gave back as they came
  echo-damaged SPEED BYTES
                        the same, with the byte a damaged-echo fault changed
  off-line SPEED BYTES  bytes that arrived while no unit was on the line
  unit taken off        --control: the unit left the line
  fault KIND WHAT N     a fault applied to the Nth exchange of WHAT
  boot-entry K SPEED    the boot loader started, listening at SPEED
  restart SPEED version V, commit, leave, bad-checksum, refused REASON, hangup,
  memory-out FILE, stop

Signals and exit status
  SIGUSR1 writes the memory out (--memory-out) and goes on. SIGTERM and SIGINT
  write it and end the run with status 0. Status 1: the unit could not start
  (the message says why); status 2: the command line is wrong.
)";

}  // namespace unitsim
