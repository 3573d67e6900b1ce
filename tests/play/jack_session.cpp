#include "tests/play/jack_session.h"

#include <fcntl.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvalen::test {
namespace {

void pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

ChildProgram::ChildProgram(const std::vector<std::string>& arguments, const std::string& logPath)
    : logPath_(logPath) {
    pid_ = fork();
    if (pid_ == 0) {
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

ChildProgram::~ChildProgram() {
    if (status_ < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void ChildProgram::signal(int number) const {
    if (status_ < 0) kill(pid_, number);
}

int ChildProgram::wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (status_ < 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) return -1;
        pause(20);
    }
    return status_;
}

std::string ChildProgram::log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void quietly(const char*) {}

JackServer::JackServer(int rate, int period, const std::string& logPath) : logPath_(logPath) {
    // Polling a server that is not up yet makes libjack complain on every try.
    jack_set_error_function(quietly);
    jack_set_info_function(quietly);
    static int count = 0;
    name_ = "corvalen-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    server_ = new ChildProgram({"jackd", "--realtime", "-d", "dummy", "-r", std::to_string(rate),
                                "-p", std::to_string(period)},
                               logPath);
    for (int tries = 0; tries < 250; ++tries) {
        jack_status_t status{};
        jack_client_t* client = jack_client_open("corvalen-test-poll", JackNoStartServer, &status);
        if (client) {
            jack_client_close(client);
            return;
        }
        pause(20);
    }
    throw std::runtime_error("the JACK server did not start: " + server_->log());
}

JackServer::~JackServer() {
    stop();
}

void JackServer::stop() {
    if (!server_) return;
    server_->signal(SIGTERM);
    if (server_->wait(5.0) < 0) server_->signal(SIGKILL);
    server_->wait(5.0);
    delete server_;
    server_ = nullptr;
}

int JackServer::xrunsOf(const std::string& client) const {
    std::ifstream in(logPath_);
    int count = 0;
    const std::string wanted = "client = " + client + " was not finished";
    for (std::string line; std::getline(in, line);) {
        if (line.find(wanted) != std::string::npos) ++count;
    }
    return count;
}

Probe::Probe(const std::string& name, int inputs) {
    jack_status_t status{};
    client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client_) throw std::runtime_error("cannot open the probe client");
    midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    for (int i = 1; i <= inputs; ++i) {
        inputs_.push_back(jack_port_register(client_, ("in_" + std::to_string(i)).c_str(),
                                             JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
    }
    jack_set_process_callback(client_, onProcess, this);
    jack_activate(client_);
}

Probe::~Probe() {
    jack_deactivate(client_);
    jack_client_close(client_);
}

void Probe::connect(const std::string& from, const std::string& to) {
    if (jack_connect(client_, from.c_str(), to.c_str()) != 0) {
        throw std::runtime_error("cannot connect " + from + " to " + to);
    }
}

void Probe::plan(const std::vector<ProbeEvent>& events, std::int64_t from, std::int64_t frames) {
    events_ = events;
    from_ = from;
    recorded_.assign(inputs_.size(), std::vector<float>(static_cast<std::size_t>(frames)));
    planned_.store(true);
}

bool Probe::waitForRecording(double seconds) const {
    for (int waited = 0; waited < seconds * 1000; waited += 20) {
        if (recorded_.empty() || filled_.load() >= static_cast<std::int64_t>(recorded_[0].size()))
            return true;
        pause(20);
    }
    return false;
}

int Probe::onProcess(jack_nframes_t frames, void* self) {
    auto* probe = static_cast<Probe*>(self);
    void* midi = jack_port_get_buffer(probe->midiOut_, frames);
    jack_midi_clear_buffer(midi);
    if (!probe->planned_.load()) return 0;
    const std::int64_t start = jack_last_frame_time(probe->client_);
    const std::int64_t end = start + frames;
    while (probe->nextEvent_ < probe->events_.size() &&
           probe->events_[probe->nextEvent_].frame < end) {
        const ProbeEvent& event = probe->events_[probe->nextEvent_++];
        if (event.frame < start) continue;  // planned too late: the test then fails on it
        const std::size_t size = (event.bytes[0] & 0xF0) == 0xC0 ? 2 : 3;
        jack_midi_event_write(midi, static_cast<jack_nframes_t>(event.frame - start), event.bytes,
                              size);
    }
    if (probe->inputs_.empty()) return 0;
    const auto length = static_cast<std::int64_t>(probe->recorded_[0].size());
    for (std::size_t c = 0; c < probe->inputs_.size(); ++c) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(probe->inputs_[c], frames));
        for (std::int64_t f = std::max(start, probe->from_);
             f < std::min(end, probe->from_ + length); ++f) {
            probe->recorded_[c][static_cast<std::size_t>(f - probe->from_)] = in[f - start];
        }
    }
    if (end > probe->from_) probe->filled_.store(std::min(end - probe->from_, length));
    return 0;
}

bool waitForPort(jack_client_t* client, const std::string& port, double seconds) {
    for (int waited = 0; waited < seconds * 1000; waited += 20) {
        if (jack_port_by_name(client, port.c_str())) return true;
        pause(20);
    }
    return false;
}

}  // namespace corvalen::test
