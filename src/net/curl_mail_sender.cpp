#include "net/curl_mail_sender.h"

#include <openssl/evp.h>

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "config/setting_limits.h"
#include "net/curl_global.h"
#include "platform/cp1250.h"

namespace kel {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> Recipients(const std::string& target) {
    std::vector<std::string> list;
    size_t start = 0;
    for (;;) {
        size_t comma = target.find(',', start);
        std::string one =
            Trim(target.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!one.empty())
            list.push_back(one);
        if (comma == std::string::npos)
            return list;
        start = comma + 1;
    }
}

// RFC 5322 date in English, whatever the locale.
std::string DateHeader() {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    long offset = local.tm_gmtoff / 60;
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02ld%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                  std::labs(offset) % 60);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %s", days[local.tm_wday], local.tm_mday,
                  months[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  zone);
    return text;
}

std::string MessageId() {
    static std::atomic<unsigned> sequence{0};
    return "<" + std::to_string(std::time(nullptr)) + "." + std::to_string(::getpid()) + "." +
           std::to_string(sequence.fetch_add(1)) + "@kel-system.local>";
}

struct Upload {
    const std::string& text;
    size_t at = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    size_t n = std::min(size * count, up->text.size() - up->at);
    std::memcpy(buffer, up->text.data() + up->at, n);
    up->at += n;
    return n;
}

struct Cancels {
    const std::atomic<bool>& all;  // the end of the program
    const std::atomic<bool>* one;  // this message's asker
    bool Any() const { return all.load() || (one && one->load()); }
};

// libcurl asks this about once a second and more often while data moves; non-zero aborts.
int AbortWhenCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Cancels*>(user)->Any() ? 1 : 0;
}

// The server's answers as they come; the last one is kept for the failure text.
int KeepReplies(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN)
        return 0;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (!line.empty())
        *static_cast<std::string*>(user) = line;
    return 0;
}

bool ErrorReply(const std::string& reply) {
    return !reply.empty() && (reply[0] == '4' || reply[0] == '5');
}

}  // namespace

CurlMailSender::CurlMailSender(int port, std::chrono::seconds connectTimeout,
                               std::chrono::seconds replyTimeout)
    : port_(port), connect_timeout_(connectTimeout), reply_timeout_(replyTimeout) {
    CurlGlobalInit();
}

std::string CurlMailSender::Compose(const MailMessage& message, const std::string& date,
                                    const std::string& id) {
    std::string to;
    for (const std::string& r : Recipients(message.target))
        to += (to.empty() ? "" : ", ") + r;
    const std::string head = "Date: " + date + "\r\nFrom: <" + kSender + ">\r\nTo: " + to +
                             "\r\nSubject: " + message.subject + "\r\nMessage-ID: " + id +
                             "\r\nMIME-Version: 1.0\r\n";
    const std::string text = "Content-Type: text/plain; charset=windows-1250\r\n"
                             "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                             ToCp1250(message.body) + "\r\n";
    if (message.picture.empty())
        return head + text;
    // The picture beside the text: base64 in lines of 76 characters.
    std::string boundary = "=_kel_";
    for (char c : id)
        if (std::isalnum(static_cast<unsigned char>(c)))
            boundary.push_back(c);
    std::string encoded(4 * ((message.picture.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       reinterpret_cast<const unsigned char*>(message.picture.data()),
                                       static_cast<int>(message.picture.size()));
    encoded.resize(static_cast<size_t>(std::max(length, 0)));
    std::string lines;
    for (size_t at = 0; at < encoded.size(); at += 76)
        lines += encoded.substr(at, 76) + "\r\n";
    return head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary +
           "\r\n" + text + "--" + boundary + "\r\nContent-Type: image/jpeg; name=\"" + message.pictureName +
           "\"\r\nContent-Disposition: attachment; filename=\"" + message.pictureName +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + lines + "--" + boundary + "--\r\n";
}

std::string CurlMailSender::FailureText(int curlCode, const std::string& where, const std::string& reply) {
    std::string text;
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
        text = "Nie znaleziono serwera poczty " + where;
        break;
    case CURLE_COULDNT_CONNECT:
        text = "Nie można połączyć się z serwerem poczty " + where;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        text = "Serwer poczty " + where + " nie odpowiada";
        break;
    case CURLE_LOGIN_DENIED:
        text = "Serwer poczty odrzucił logowanie (sprawdź użytkownika i hasło)";
        break;
    case CURLE_USE_SSL_FAILED:
        text = "Serwer poczty " + where +
               " nie oferuje szyfrowania (STARTTLS), a bez niego hasło nie jest wysyłane";
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        text = "Certyfikat serwera poczty " + where + " nie jest zaufany";
        break;
    case CURLE_SSL_CONNECT_ERROR:
        text = "Nie udało się nawiązać szyfrowanego połączenia z serwerem poczty " + where;
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        text = "Wysyłanie wiadomości przerwano";
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        text = ErrorReply(reply) ? "Serwer poczty odrzucił wiadomość" : "Serwer poczty przerwał połączenie";
        break;
    default:
        text = "Nie udało się wysłać wiadomości (błąd " + std::to_string(curlCode) + ")";
        break;
    }
    if (ErrorReply(reply))
        text += "\nOdpowiedź serwera: " + reply;
    return text;
}

bool CurlMailSender::Send(const MailMessage& message, std::string& error) {
    Cancels cancels{cancelled_, message.cancelled.get()};
    if (cancels.Any()) {
        error = FailureText(CURLE_ABORTED_BY_CALLBACK, "", "");
        return false;
    }
    const std::vector<std::string> recipients = Recipients(message.target);
    std::string host;
    int port = port_;
    if (Trim(message.server).empty() || recipients.empty()) {
        error = recipients.empty() ? "Brak adresu odbiorcy" : "Brak nazwy serwera SMTP";
        return false;
    }
    if (!SplitMailServer(message.server, port_, host, port)) {
        error = "Niepoprawny adres serwera SMTP: " + Trim(message.server) + " (serwer albo serwer:port)";
        return false;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        error = "Nie udało się przygotować wysyłania wiadomości";
        return false;
    }
    curl_slist* rcpt = nullptr;
    for (const std::string& r : recipients)
        rcpt = curl_slist_append(rcpt, ("<" + r + ">").c_str());
    const std::string text = Compose(message, DateHeader(), MessageId());
    Upload upload{text};
    std::string reply;
    // 465 speaks TLS from the first byte; elsewhere STARTTLS when the server offers it, and a
    // password only ever over TLS.
    const std::string user = Trim(message.user);
    const bool login = !user.empty() && user != "-";
    const std::string where = host + ":" + std::to_string(port);
    const std::string url = (port == 465 ? "smtps://" : "smtp://") + where;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, (std::string("<") + kSender + ">").c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(login ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    if (login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, message.password.c_str());
    }
    if (!ca_file_.empty())
        curl_easy_setopt(c, CURLOPT_CAINFO, ca_file_.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connect_timeout_.count()));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(reply_timeout_.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // off the window thread, never by signals
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);   // the replies go to KeepReplies, nowhere else
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, KeepReplies);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &reply);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, AbortWhenCancelled);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &cancels);
    CURLcode result = curl_easy_perform(c);
    curl_slist_free_all(rcpt);
    if (result == CURLE_OK)
        return true;
    error = FailureText(result, where, reply);
    return false;
}

}  // namespace kel
