#include "net/internet_file.h"

#include "net/url_password.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int kIdleWaitMs = 1000;
constexpr int kSetupWaitMs = 10;
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReportEvery(net::kWaitReportMs);

}  // namespace

namespace net {

CurlHandles::CurlHandles() {
    const CURLcode init = GlobalInit();
    if (init != CURLE_OK) throw CInternetException(curl_easy_strerror(init), init);
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (m_multi == nullptr || m_easy == nullptr) {
        if (m_easy != nullptr) curl_easy_cleanup(m_easy);
        if (m_multi != nullptr) curl_multi_cleanup(m_multi);
        throw CInternetException("libcurl could not create a transfer handle", CURLE_OUT_OF_MEMORY);
    }
}

CurlHandles::~CurlHandles() {
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
}

void CurlHandles::Wait(int capMs) const {
    long timer = -1;
    curl_multi_timeout(m_multi, &timer);
    if (timer == 0) return;
    curl_multi_poll(m_multi, nullptr, 0, timer > 0 && timer < capMs ? static_cast<int>(timer) : capMs,
                    nullptr);
}

Waiter::Waiter(const Watch& watch) : m_watch(watch), m_due(Clock::now() + kReportEvery) {}

bool Waiter::InTime() { return m_watch.deadlineSeconds <= 0 || Clock::now() < m_watch.deadline; }

bool Waiter::Wait(const CurlHandles& handles, int capMs) {
    Clock::time_point until = Clock::now() + std::chrono::milliseconds(capMs);
    if (m_watch.function != nullptr) until = std::min(until, m_due);
    if (m_watch.deadlineSeconds > 0) until = std::min(until, m_watch.deadline);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    handles.Wait(static_cast<int>(std::clamp<long long>(left, 0, capMs)));
    if (!InTime()) return false;
    const Clock::time_point now = Clock::now();
    if (m_watch.function == nullptr || now < m_due) return true;
    m_due = now + kReportEvery;
    m_cancelled = m_watch.function(m_watch.user) != 0;
    return !m_cancelled;
}

std::string Waiter::StopText() const {
    if (m_cancelled) return "Transfer cancelled";
    const int n = m_watch.deadlineSeconds;
    return "Download deadline of " + std::to_string(n) + (n == 1 ? " second" : " seconds") + " reached";
}

void CurlHandles::Reset() {
    curl_easy_reset(m_easy);
    m_error[0] = '\0';
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_error);
}

}  // namespace net

using Transfer = CInternetFile::Transfer;

Transfer::Transfer(net::CurlHandles* handles, bool owned, Kind kind, std::string url,
                   const std::string& password)
    : m_handles(handles), m_owned(owned), m_kind(kind), m_url(std::move(url)) {
    CURL* easy = m_handles->Easy();
    if (net::Enabled()) {
        const char* what = kind == kHttp ? "download" : kind == kFtpRead ? "FTP download" : "FTP upload";
        m_trace = std::make_unique<net::CExchange>(what, m_url, password);
        m_trace->Attach(easy);
    }
    if (m_kind == kFtpWrite) {
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, OnUpload);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
    } else {
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    }
    if (m_kind == kHttp) {
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    }
}

Transfer::~Transfer() {
    Detach();
    EndTrace();
    if (m_link != nullptr) m_link->open = nullptr;
    if (m_owned) delete m_handles;
}

void Transfer::EndTrace() {
    if (m_trace == nullptr) return;
    std::string outcome;
    std::string detail;
    if (Failed()) {
        detail = FailureText();
        outcome = "failed";
    } else if (!m_done) {
        outcome = "abandoned before the end";
    } else if (m_kind == kHttp) {
        long status = 0;
        curl_easy_getinfo(m_handles->Easy(), CURLINFO_RESPONSE_CODE, &status);
        outcome = "status " + std::to_string(status);
    } else {
        outcome = "complete";
    }
    m_trace->End(outcome, detail);
    if (m_handles != nullptr) net::CExchange::Detach(m_handles->Easy());
    m_trace.reset();
}

void Transfer::Detach() {
    if (m_attached) curl_multi_remove_handle(m_handles->Multi(), m_handles->Easy());
    m_attached = false;
}

void Transfer::Orphan() {
    Detach();
    if (m_failure.empty()) m_failure = "The FTP connection was closed before its file";
    m_done = true;
    EndTrace();
    m_handles = nullptr;
    m_link = nullptr;
}

bool Transfer::Pump() {
    if (m_done) return false;
    int running = 0;
    const CURLMcode code = curl_multi_perform(m_handles->Multi(), &running);
    if (code != CURLM_OK) {
        m_done = true;
        m_failure = curl_multi_strerror(code);
        return false;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_handles->Multi(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_handles->Easy()) {
            m_done = true;
            m_result = message->data.result;
        }
    }
    return !m_done;
}

void Transfer::Resume() {
    if (!m_paused || m_handles == nullptr) return;
    m_paused = false;
    // A paused download gets its held bytes back through OnBody right here.
    const CURLcode code = curl_easy_pause(m_handles->Easy(), CURLPAUSE_CONT);
    if (code != CURLE_OK && !m_done) {
        m_done = true;
        m_result = code;
    }
}

std::string Transfer::FailureText() const {
    if (!m_failure.empty()) return m_failure;
    long status = 0;
    if (m_handles != nullptr) curl_easy_getinfo(m_handles->Easy(), CURLINFO_RESPONSE_CODE, &status);
    return net::FailureText(m_result, m_handles != nullptr ? m_handles->ErrorText() : nullptr, status, m_url);
}

void Transfer::ThrowFailure() {
    const std::string text = FailureText();
    if (m_trace != nullptr) m_trace->End("failed", text);
    throw CInternetException(text.c_str(), m_result);
}

void Transfer::Stop(const net::Waiter& waiter) {
    Detach();
    m_done = true;
    m_result = waiter.StopCode();
    if (m_failure.empty()) m_failure = waiter.StopText();
}

bool Transfer::Failed() const { return m_done && (m_result != CURLE_OK || !m_failure.empty()); }

template <typename Satisfied>
void Transfer::RunUntil(Satisfied satisfied) {
    net::Waiter waiter(m_watch);
    while (!m_done && m_handles != nullptr) {
        // A download that never waits still keeps its deadline.
        if (!waiter.InTime()) return Stop(waiter);
        if (!Pump() || satisfied()) return;
        // Until the data flows, libcurl takes some steps without a socket or
        // timer to wake us (it starts an FTP data connection only on the next
        // round): short waits then, so a transfer never idles a whole second.
        if (!waiter.Wait(*m_handles, m_flowing ? kIdleWaitMs : kSetupWaitMs)) return Stop(waiter);
    }
}

void Transfer::Start() {
    const CURLMcode added = curl_multi_add_handle(m_handles->Multi(), m_handles->Easy());
    if (added != CURLM_OK) throw CInternetException(curl_multi_strerror(added));
    m_attached = true;
    if (m_kind == kFtpWrite) {
        // libcurl asks for the first bytes once the server has taken the store command.
        RunUntil([this] { return m_askedForData; });
        if (m_done) {
            if (m_failure.empty() && m_result == CURLE_OK) m_failure = "The server ended the upload at once";
            ThrowFailure();
        }
        return;
    }
    // The first body bytes pause the transfer (no room is offered yet).
    RunUntil([this] { return m_paused; });
    if (Failed()) ThrowFailure();
    curl_off_t length = -1;
    if (curl_easy_getinfo(m_handles->Easy(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
        m_announced = length;
    if (m_kind != kHttp) return;
    long status = 0;
    curl_easy_getinfo(m_handles->Easy(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        // The reason phrase is what follows the code on the status line.
        std::string reason;
        const size_t code = m_statusLine.find(' ');
        const size_t text = code == std::string::npos ? code : m_statusLine.find(' ', code + 1);
        if (text != std::string::npos) reason = " " + m_statusLine.substr(text + 1);
        m_failure = net::WithoutUrlPasswords(m_url) + " load failure (status " + std::to_string(status) +
                    reason + ")!\t";
        ThrowFailure();
    }
}

size_t Transfer::Read(char* dest, size_t count, bool whole) {
    size_t got = 0;
    if (m_spillAt < m_spill.size()) {
        got = std::min(count, m_spill.size() - m_spillAt);
        std::memcpy(dest, m_spill.data() + m_spillAt, got);
        m_spillAt += got;
        if (m_spillAt == m_spill.size()) {
            m_spill.clear();
            m_spillAt = 0;
        }
    }
    if (got == count || m_handles == nullptr || (got > 0 && !whole)) {
        if (got == 0 && Failed()) ThrowFailure();
        return got;
    }
    m_dest = dest + got;
    m_room = count - got;
    const size_t wanted = m_room;
    Resume();
    RunUntil([this, whole, wanted] { return m_room == 0 || (!whole && m_room < wanted); });
    got = count - m_room;
    m_dest = nullptr;
    m_room = 0;
    if (Failed()) ThrowFailure();
    return got;
}

void Transfer::Write(const char* source, size_t count) {
    if (count == 0) return;
    m_source = source;
    m_sourceLeft = count;
    Resume();
    RunUntil([this] { return m_sourceLeft == 0; });
    m_source = nullptr;
    if (m_done) {
        // Only our end of data may end an upload; anything else broke it off.
        if (m_failure.empty() && m_result == CURLE_OK) m_failure = "The server ended the upload early";
        ThrowFailure();
    }
}

void Transfer::Finish() {
    if (m_kind != kFtpWrite) {
        Detach();
        EndTrace();
        return;
    }
    if (m_handles == nullptr) ThrowFailure();
    m_finishing = true;
    Resume();
    RunUntil([] { return false; });
    Detach();
    if (Failed()) ThrowFailure();
    EndTrace();
}

size_t Transfer::OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    const size_t length = size * count;
    self->m_flowing = true;
    if (length == 0) return 0;
    if (self->m_room == 0) {
        self->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    const size_t take = std::min(length, self->m_room);
    std::memcpy(self->m_dest, data, take);
    self->m_dest += take;
    self->m_room -= take;
    // Whatever did not fit waits here; no more comes until it is read.
    if (take < length) self->m_spill.assign(data + take, length - take);
    return length;
}

size_t Transfer::OnUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    self->m_askedForData = true;
    self->m_flowing = true;
    if (self->m_sourceLeft == 0) {
        if (self->m_finishing) return 0;
        self->m_paused = true;
        return CURL_READFUNC_PAUSE;
    }
    const size_t take = std::min(size * count, self->m_sourceLeft);
    std::memcpy(buffer, self->m_source, take);
    self->m_source += take;
    self->m_sourceLeft -= take;
    return take;
}

size_t Transfer::OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    const size_t length = size * count;
    if (length > 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        size_t end = length;
        while (end > 0 && (data[end - 1] == '\r' || data[end - 1] == '\n')) --end;
        self->m_statusLine.assign(data, end);
    }
    return length;
}

// --- the exception and the files ---------------------------------------------

CInternetException::CInternetException(const CString& message, int code)
    : m_dwError(code), m_strMessage(message) {}

CInternetException::~CInternetException() = default;

int CInternetException::GetErrorMessage(char* text, unsigned maxLength) const {
    if (text == nullptr || maxLength == 0) return 0;
    const size_t n = std::min<size_t>(static_cast<size_t>(m_strMessage.GetLength()), maxLength - 1);
    std::memcpy(text, m_strMessage.GetString(), n);
    text[n] = '\0';
    return 1;
}

CStdioFile::CStdioFile() = default;

CStdioFile::~CStdioFile() = default;

unsigned CStdioFile::ReadSome(void* buffer, unsigned count) { return Read(buffer, count); }

long long CStdioFile::GetAnnouncedLength() {
    if (!IsOpen()) return -1;
    try {
        return static_cast<long long>(GetLength());
    } catch (const CFileException&) {
        return -1;
    }
}

CInternetFile::CInternetFile(Transfer* transfer, const char* name) : m_pTransfer(transfer) {
    m_strFileName = name;
}

CInternetFile::~CInternetFile() { delete m_pTransfer; }

bool CInternetFile::Open(const char* fileName, unsigned /*openFlags*/, CFileException* error) {
    // A remote file is opened by its session or connection, never by name.
    if (error != nullptr) *error = CFileException(CFileException::invalidFile, EINVAL, fileName);
    return false;
}

unsigned CInternetFile::Read(void* buffer, unsigned count) {
    if (m_pTransfer == nullptr) return 0;
    return static_cast<unsigned>(m_pTransfer->Read(static_cast<char*>(buffer), count, true));
}

unsigned CInternetFile::ReadSome(void* buffer, unsigned count) {
    if (m_pTransfer == nullptr) return 0;
    return static_cast<unsigned>(m_pTransfer->Read(static_cast<char*>(buffer), count, false));
}

void CInternetFile::Write(const void* buffer, unsigned count) {
    if (m_pTransfer == nullptr) throw CInternetException("Write to a closed internet file");
    m_pTransfer->Write(static_cast<const char*>(buffer), count);
}

int64_t CInternetFile::Seek(int64_t /*offset*/, unsigned /*from*/) { Throw(ESPIPE); }

uint64_t CInternetFile::GetLength() const {
    const long long length = m_pTransfer != nullptr ? m_pTransfer->Announced() : -1;
    return length > 0 ? static_cast<uint64_t>(length) : 0;
}

long long CInternetFile::GetAnnouncedLength() {
    return m_pTransfer != nullptr ? m_pTransfer->Announced() : -1;
}

void CInternetFile::Close() {
    std::unique_ptr<Transfer> transfer(m_pTransfer);
    m_pTransfer = nullptr;
    if (transfer != nullptr) transfer->Finish();
}
