// tls_session.cpp: OpenSSL set up from files read by us (so that OpenSSL
// never opens a path itself), and its errors sorted into what an operator
// can act on.
#include "tls_session.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace velkor {

struct TlsContext {
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  ~TlsContext() {
    if (ssl) SSL_free(ssl);
    if (context) SSL_CTX_free(context);
  }
};

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

Bio MemoryOf(const std::string& contents) {
  return Bio(BIO_new_mem_buf(contents.data(), static_cast<int>(contents.size())));
}

// An encrypted key is refused instead of asking for its pass phrase on a terminal.
int NoPassPhrase(char*, int, int, void*) { return 0; }

std::string OpenSslWords(unsigned long error) {
  char words[256];
  ERR_error_string_n(error, words, sizeof words);
  const char* reason = ERR_reason_error_string(error);
  return reason ? reason : words;
}

bool IsAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Reasons by which a server says it turned the client's certificate down.
bool CertificateRefusedReason(int reason) {
  return reason == SSL_R_SSLV3_ALERT_BAD_CERTIFICATE || reason == SSL_R_TLSV1_ALERT_UNKNOWN_CA ||
         reason == SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN || reason == SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED ||
         reason == SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED || reason == SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE ||
         reason == SSL_R_TLSV1_ALERT_ACCESS_DENIED || reason == SSL_R_TLSV1_ALERT_DECRYPT_ERROR;
}

// Reasons by which the bytes that came back are no TLS at all: a plain
// Telnet server's negotiation, a banner.
bool NotTlsReason(int reason) {
  return reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
         reason == SSL_R_UNKNOWN_PROTOCOL || reason == SSL_R_HTTP_REQUEST ||
         reason == SSL_R_UNEXPECTED_MESSAGE;
}

// OpenSSL writes to its socket with write(): a connection the server has
// dropped would end the whole program with SIGPIPE. Its writes go out with
// MSG_NOSIGNAL instead, and fail as any write to a dropped connection does.
int SendWithoutSignal(BIO* bio, const char* data, int size) {
  int fd = -1;
  BIO_get_fd(bio, &fd);
  const ssize_t n = send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
  BIO_clear_retry_flags(bio);
  if (n < 0 && BIO_sock_should_retry(-1)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

// The socket method with that one write; made once and kept for the process.
BIO_METHOD* SocketWithoutSignal() {
  static BIO_METHOD* const method = [] {
    const BIO_METHOD* socket = BIO_s_socket();
    BIO_METHOD* made = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
    BIO_meth_set_write(made, SendWithoutSignal);
    BIO_meth_set_read(made, BIO_meth_get_read(socket));
    BIO_meth_set_puts(made, BIO_meth_get_puts(socket));
    BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(socket));
    BIO_meth_set_create(made, BIO_meth_get_create(socket));
    BIO_meth_set_destroy(made, BIO_meth_get_destroy(socket));
    return made;
  }();
  return method;
}

}  // namespace

std::string SystemCaStore() { return X509_get_default_cert_dir(); }

TlsSession::TlsSession() : context_(std::make_unique<TlsContext>()) {}

TlsSession::~TlsSession() = default;

int TlsSession::OnCertificateRequest(SSL*, void* self) {
  static_cast<TlsSession*>(self)->certificateAsked_ = true;
  return 1;
}

bool TlsSession::Load(const TlsFiles& files) {
  ERR_clear_error();
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  context_->context = context;
  if (!context) {
    fileFault_ = {TlsFileProblem::Malformed, "OpenSSL", OpenSslWords(ERR_get_error())};
    return false;
  }
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_cert_cb(context, &TlsSession::OnCertificateRequest, this);
  if (files.ca.empty()) {
    SSL_CTX_set_default_verify_paths(context);
    caFile_.clear();
  } else {
    const std::optional<std::string> ca = ReadTlsFile(files.ca, false, fileFault_);
    if (!ca) return false;
    const Bio bio = MemoryOf(*ca);
    int count = 0;
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, NoPassPhrase, nullptr)) {
      X509_STORE_add_cert(SSL_CTX_get_cert_store(context), certificate);
      X509_free(certificate);
      ++count;
    }
    ERR_clear_error();
    if (count == 0) {
      fileFault_ = {TlsFileProblem::Malformed, files.ca, "no certificate"};
      return false;
    }
    caFile_ = files.ca;
  }
  if (files.cert.empty() != files.key.empty()) {
    fileFault_ = {TlsFileProblem::Incomplete, files.cert.empty() ? files.key : files.cert, {}};
    return false;
  }
  if (!files.cert.empty()) {
    const std::optional<std::string> cert = ReadTlsFile(files.cert, false, fileFault_);
    if (!cert) return false;
    const std::optional<std::string> key = ReadTlsFile(files.key, true, fileFault_);
    if (!key) return false;
    const Bio certBio = MemoryOf(*cert);
    X509* leaf = PEM_read_bio_X509(certBio.get(), nullptr, NoPassPhrase, nullptr);
    if (!leaf || SSL_CTX_use_certificate(context, leaf) != 1) {
      X509_free(leaf);
      fileFault_ = {TlsFileProblem::Malformed, files.cert, "no certificate"};
      return false;
    }
    X509_free(leaf);
    // Intermediate certificates after the client's own go along with it.
    while (X509* link = PEM_read_bio_X509(certBio.get(), nullptr, NoPassPhrase, nullptr)) {
      if (SSL_CTX_add0_chain_cert(context, link) != 1) X509_free(link);
    }
    ERR_clear_error();
    const Bio keyBio = MemoryOf(*key);
    EVP_PKEY* privateKey = PEM_read_bio_PrivateKey(keyBio.get(), nullptr, NoPassPhrase, nullptr);
    if (!privateKey || SSL_CTX_use_PrivateKey(context, privateKey) != 1) {
      const unsigned long error = ERR_peek_last_error();
      EVP_PKEY_free(privateKey);
      fileFault_ = {TlsFileProblem::Malformed, files.key, error ? OpenSslWords(error) : "no key"};
      ERR_clear_error();
      return false;
    }
    EVP_PKEY_free(privateKey);
    if (SSL_CTX_check_private_key(context) != 1) {
      ERR_clear_error();
      fileFault_ = {TlsFileProblem::KeyMismatch, files.key, {}};
      return false;
    }
    certificateGiven_ = true;
  }
  return true;
}

bool TlsSession::Attach(int fd, const std::string& host) {
  Detach();
  ERR_clear_error();
  SSL* ssl = SSL_new(context_->context);
  context_->ssl = ssl;
  BIO* socket = ssl ? BIO_new(SocketWithoutSignal()) : nullptr;
  if (socket) {
    BIO_set_fd(socket, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl, socket, socket);
  }
  if (!socket) {
    refusal_ = TlsRefusal::Other;
    reason_ = OpenSslWords(ERR_get_error());
    return false;
  }
  // The server's certificate must name the host as it was given: an address
  // among its IP addresses, a name among its DNS names.
  if (IsAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
  } else {
    SSL_set1_host(ssl, host.c_str());
    SSL_set_tlsext_host_name(ssl, host.c_str());
  }
  SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_set_connect_state(ssl);
  return true;
}

void TlsSession::Detach() {
  if (context_->ssl) SSL_free(context_->ssl);
  context_->ssl = nullptr;
  wantEvents_ = 0;
  refusal_ = TlsRefusal::None;
  reason_.clear();
  certificateAsked_ = false;
}

bool TlsSession::Attached() const { return context_->ssl != nullptr; }

TlsStep TlsSession::Handshake() {
  ERR_clear_error();
  const int result = SSL_do_handshake(context_->ssl);
  if (result == 1) return TlsStep::Done;
  return Failure(result);
}

TlsStep TlsSession::Failure(int result) {
  const int systemError = errno;
  switch (SSL_get_error(context_->ssl, result)) {
    case SSL_ERROR_WANT_READ: wantEvents_ = POLLIN; return TlsStep::WantRead;
    case SSL_ERROR_WANT_WRITE: wantEvents_ = POLLOUT; return TlsStep::WantWrite;
    default: break;
  }
  const unsigned long error = ERR_peek_error();
  const int reason = ERR_GET_REASON(error);
  const long verified = SSL_get_verify_result(context_->ssl);
  reason_ = error ? OpenSslWords(error) : systemError ? std::strerror(systemError) : "the server closed the connection";
  ERR_clear_error();
  // ser2net turns a client down by closing the connection, without an alert.
  const bool closed = (error == 0 && systemError == 0) || reason == SSL_R_UNEXPECTED_EOF_WHILE_READING;
  if (closed && certificateAsked_) {
    refusal_ = certificateGiven_ ? TlsRefusal::CertificateRefused : TlsRefusal::CertificateRequired;
  } else if (reason == SSL_R_CERTIFICATE_VERIFY_FAILED && verified != X509_V_OK) {
    refusal_ = TlsRefusal::NotTrusted;
    reason_ = X509_verify_cert_error_string(verified);
  } else if (reason == SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED ||
             (certificateAsked_ && !certificateGiven_ && reason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE)) {
    refusal_ = TlsRefusal::CertificateRequired;
  } else if (CertificateRefusedReason(reason)) {
    refusal_ = certificateGiven_ ? TlsRefusal::CertificateRefused : TlsRefusal::CertificateRequired;
  } else if (NotTlsReason(reason)) {
    refusal_ = TlsRefusal::NotTls;
  } else {
    refusal_ = TlsRefusal::Other;
  }
  return TlsStep::Failed;
}

ssize_t TlsSession::Receive(void* buffer, size_t capacity) {
  ERR_clear_error();
  errno = 0;
  const int n = SSL_read(context_->ssl, buffer, static_cast<int>(capacity));
  if (n > 0) return n;
  const int systemError = errno;
  const int kind = SSL_get_error(context_->ssl, n);
  // A server that ends without its close notice (ser2net does) has ended all the same.
  const bool ended = kind == SSL_ERROR_ZERO_RETURN || (kind == SSL_ERROR_SYSCALL && systemError == 0) ||
                     (kind == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
  if (ended) {
    ERR_clear_error();
    return 0;
  }
  if (kind == SSL_ERROR_SYSCALL) {
    errno = systemError;
    return -1;
  }
  errno = Failure(n) == TlsStep::Failed ? EPROTO : EAGAIN;
  return -1;
}

ssize_t TlsSession::Send(const void* bytes, size_t count) {
  ERR_clear_error();
  errno = 0;
  const int n = SSL_write(context_->ssl, bytes, static_cast<int>(count));
  if (n > 0) return n;
  const int systemError = errno;
  if (SSL_get_error(context_->ssl, n) == SSL_ERROR_SYSCALL) {
    errno = systemError ? systemError : EPIPE;
    return -1;
  }
  errno = Failure(n) == TlsStep::Failed ? EPROTO : EAGAIN;
  return -1;
}

unsigned long TlsSession::BytesReceived() const {
  return context_->ssl ? BIO_number_read(SSL_get_rbio(context_->ssl)) : 0;
}

}  // namespace velkor
