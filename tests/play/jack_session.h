// A private JACK server for a test and a probe client of the test's own: the server runs the
// dummy driver in real time under a name no other test uses; the probe sends MIDI at exact
// absolute frames and records what reaches its inputs, each sample at its absolute frame.
#pragma once

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace corvalen::test {

// A started program, its standard error kept in a file; killed at destruction if still running.
class ChildProgram {
public:
    ChildProgram(const std::vector<std::string>& arguments, const std::string& logPath);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // The exit code once it ended (-1 when it did not end within `seconds`, 128 + N for a
    // signal N).
    int wait(double seconds);
    std::string log() const;

private:
    pid_t pid_ = -1;
    std::string logPath_;
    int status_ = -1;
};

// jackd --realtime -d dummy -r RATE -p PERIOD under a unique name, set as JACK_DEFAULT_SERVER
// for this process and the programs it starts (JACK_NO_START_SERVER=1 as well).
class JackServer {
public:
    JackServer(int rate, int period, const std::string& logPath);
    ~JackServer();  // SIGTERM to its PID
    void stop();
    const std::string& name() const { return name_; }
    // The lines of its log that name `client` as not finished in time.
    int xrunsOf(const std::string& client) const;

private:
    std::string name_;
    std::string logPath_;
    ChildProgram* server_ = nullptr;
};

struct ProbeEvent {
    std::int64_t frame = 0;  // absolute JACK frame
    std::uint8_t bytes[3] = {};
};

// A test needs two: one that only sends (no inputs) and one that only records, as a client
// that did both would close a loop through the player and hear it a period late.
class Probe {
public:
    // Ports NAME:midi_out and NAME:in_1..in_N.
    Probe(const std::string& name, int inputs);
    ~Probe();
    jack_client_t* client() const { return client_; }
    std::int64_t now() const { return jack_frame_time(client_); }
    void connect(const std::string& from, const std::string& to);
    // Sends `events` (ordered by frame) and records [from, from + frames). Call before start().
    void plan(const std::vector<ProbeEvent>& events, std::int64_t from, std::int64_t frames);
    // Blocks until the recording is complete (false when `seconds` pass first).
    bool waitForRecording(double seconds) const;
    const std::vector<std::vector<float>>& recording() const { return recorded_; }
    std::int64_t recordingStart() const { return from_; }

private:
    static int onProcess(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* midiOut_ = nullptr;
    std::vector<jack_port_t*> inputs_;
    std::vector<ProbeEvent> events_;
    std::size_t nextEvent_ = 0;
    std::int64_t from_ = 0;
    std::vector<std::vector<float>> recorded_;
    std::atomic<bool> planned_{false};
    std::atomic<std::int64_t> filled_{0};
};

// Polls every 20 ms until JACK knows `port`, at most `seconds`.
bool waitForPort(jack_client_t* client, const std::string& port, double seconds);

}  // namespace corvalen::test
