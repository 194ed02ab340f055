#include "notify/SmtpTls_win.h"

#include <algorithm>
#include <cstring>

namespace uptorra {

namespace {

// The certificate is checked by VerifyServerCertificate, not by SChannel: its automatic check
// differs between Windows versions (revocation look-ups that go out to the network) and does
// not exist under Wine. No client certificate is ever offered.
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

// For systems that do not know SCH_CREDENTIALS (before Windows 10 1809, Wine 8): TLS 1.0 to 1.2
// named explicitly, because Windows 7 keeps TLS 1.1 and 1.2 off for clients unless asked.
constexpr DWORD kLegacyProtocols = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT;

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

constexpr int kShutdownTimeoutMs = 500;

// SECURITY_FLAG_IGNORE_CERT_CN_INVALID of wininet.h: the SSL policy skips its name check, which
// knows host names only; an address literal is then matched here against the certificate's
// IP address entries.
constexpr DWORD kPolicyIgnoresName = 0x00001000;

int MillisecondsLeft(ULONGLONG deadline) {
  const ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<int>(std::min<ULONGLONG>(deadline - now, 0x7FFFFFFF));
}

// A token SChannel allocated (ISC_REQ_ALLOCATE_MEMORY), freed on every path.
struct OutputToken {
  SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc desc{SECBUFFER_VERSION, 1, &buffer};
  OutputToken() = default;
  OutputToken(const OutputToken&) = delete;
  OutputToken& operator=(const OutputToken&) = delete;
  ~OutputToken() {
    if (buffer.pvBuffer) ::FreeContextBuffer(buffer.pvBuffer);
  }
  std::string_view bytes() const {
    return buffer.pvBuffer ? std::string_view(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer)
                           : std::string_view();
  }
};

struct CertContextTraits {
  static PCCERT_CONTEXT Invalid() noexcept { return nullptr; }
  static void Close(PCCERT_CONTEXT c) noexcept { ::CertFreeCertificateContext(c); }
};
struct CertChainTraits {
  static PCCERT_CHAIN_CONTEXT Invalid() noexcept { return nullptr; }
  static void Close(PCCERT_CHAIN_CONTEXT c) noexcept { ::CertFreeCertificateChain(c); }
};

std::wstring WideOfAscii(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// The bytes of an IPv4 or IPv6 address literal; empty for a host name.
std::string AddressBytes(const std::wstring& host) {
  in_addr v4{};
  if (::InetPtonW(AF_INET, host.c_str(), &v4) == 1) return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
  in6_addr v6{};
  if (::InetPtonW(AF_INET6, host.c_str(), &v6) == 1) return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
  return {};
}

struct LocalFreeTraits {
  static CERT_ALT_NAME_INFO* Invalid() noexcept { return nullptr; }
  static void Close(CERT_ALT_NAME_INFO* p) noexcept { ::LocalFree(p); }
};

// Whether the certificate's subject alternative names hold this address.
bool CertificateNamesAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension = ::CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (!extension) return false;
  UniqueAny<CERT_ALT_NAME_INFO*, LocalFreeTraits> names;
  DWORD size = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, names.put(), &size)) {
    return false;
  }
  for (DWORD i = 0; i < names.get()->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names.get()->rgAltEntry[i];
    if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
        std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

TlsSession::Credentials::~Credentials() {
  if (valid) ::FreeCredentialsHandle(&handle);
}

TlsSession::Context::~Context() {
  if (valid) ::DeleteSecurityContext(&handle);
}

TlsSession::~TlsSession() = default;

bool TlsSession::AcquireCredentials() {
  // SCH_CREDENTIALS leaves the protocols to the system, TLS 1.3 included where it is on.
  // SSL 2 and 3 never, whatever the system's settings (Wine enables SSL 3 by default).
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT;
  SCH_CREDENTIALS modern{};
  modern.dwVersion = SCH_CREDENTIALS_VERSION;
  modern.dwFlags = kCredentialFlags;
  modern.cTlsParameters = 1;
  modern.pTlsParameters = &parameters;
  lastStatus_ = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                            nullptr, &modern, nullptr, nullptr, &credentials_.handle, nullptr);
  if (lastStatus_ == SEC_E_OK) {
    credentials_.valid = true;
    return true;
  }
  SCHANNEL_CRED legacy{};
  legacy.dwVersion = SCHANNEL_CRED_VERSION;
  legacy.dwFlags = kCredentialFlags;
  legacy.grbitEnabledProtocols = kLegacyProtocols;
  lastStatus_ = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                            nullptr, &legacy, nullptr, nullptr, &credentials_.handle, nullptr);
  credentials_.valid = lastStatus_ == SEC_E_OK;
  return credentials_.valid;
}

bool TlsSession::Handshake(TcpConnection& tcp, const std::string& host, int timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  target_ = WideOfAscii(host);  // also the SNI name
  if (!AcquireCredentials()) return false;

  OutputToken hello;
  ULONG attributes = 0;
  lastStatus_ = ::InitializeSecurityContextW(&credentials_.handle, nullptr, target_.data(), kContextFlags, 0, 0,
                                             nullptr, 0, &context_.handle, &hello.desc, &attributes, nullptr);
  if (lastStatus_ != SEC_I_CONTINUE_NEEDED) return false;
  context_.valid = true;
  if (tcp.Send(hello.bytes(), MillisecondsLeft(deadline)) != IoResult::Ok) return false;
  if (!HandshakeLoop(tcp, deadline, true)) return false;
  if (!VerifyServerCertificate()) return false;

  lastStatus_ = ::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_STREAM_SIZES, &sizes_);
  if (lastStatus_ != SEC_E_OK || sizes_.cbMaximumMessage == 0) return false;
  SecPkgContext_ConnectionInfo info{};
  if (::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK) {
    protocol_ = info.dwProtocol;
  }
  established_ = true;
  return true;
}

// Feeds what the server sent to SChannel and sends back what it answers, until the handshake
// (or, after a TLS 1.3 post-handshake message, the renewed state) is complete.
bool TlsSession::HandshakeLoop(TcpConnection& tcp, ULONGLONG deadline, bool readFirst) {
  bool needInput = readFirst;
  for (;;) {
    if (needInput) {
      const IoResult io = tcp.Receive(incoming_, MillisecondsLeft(deadline));
      if (io != IoResult::Ok) return false;
    } else if (MillisecondsLeft(deadline) == 0) {
      return false;
    }
    SecBuffer in[2] = {{static_cast<ULONG>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    OutputToken out;
    ULONG attributes = 0;
    lastStatus_ = ::InitializeSecurityContextW(&credentials_.handle, &context_.handle, target_.data(), kContextFlags,
                                               0, 0, &inDesc, 0, nullptr, &out.desc, &attributes, nullptr);
    if (lastStatus_ == SEC_E_INCOMPLETE_MESSAGE) {
      needInput = true;
      continue;
    }
    // Sent even when the step failed: with ISC_REQ_EXTENDED_ERROR the token is the alert that
    // tells the server why.
    if (!out.bytes().empty() && tcp.Send(out.bytes(), MillisecondsLeft(deadline)) != IoResult::Ok) return false;
    if (lastStatus_ == SEC_I_INCOMPLETE_CREDENTIALS) {
      // The server asks for a client certificate; go on without one, with the same input.
      needInput = false;
      continue;
    }
    if (lastStatus_ != SEC_E_OK && lastStatus_ != SEC_I_CONTINUE_NEEDED) return false;
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= incoming_.size()) {
      incoming_.erase(0, incoming_.size() - in[1].cbBuffer);
    } else {
      incoming_.clear();
    }
    if (lastStatus_ == SEC_E_OK) return true;
    needInput = incoming_.empty();
  }
}

bool TlsSession::VerifyServerCertificate() {
  UniqueAny<PCCERT_CONTEXT, CertContextTraits> certificate;
  certificateError_ = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
  lastStatus_ = ::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_REMOTE_CERT_CONTEXT, certificate.put());
  if (lastStatus_ != SEC_E_OK || !certificate) return false;

  LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
  // The server's own store holds the intermediate certificates it sent. No revocation check:
  // it would reach out to the certificate authority's servers on every mail.
  UniqueAny<PCCERT_CHAIN_CONTEXT, CertChainTraits> chain;
  if (!::CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate.get()->hCertStore, &chainPara, 0,
                                 nullptr, chain.put())) {
    certificateError_ = ::GetLastError();
    return false;
  }

  const std::string address = AddressBytes(target_);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = address.empty() ? 0 : kPolicyIgnoresName;
  ssl.pwszServerName = target_.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
    certificateError_ = ::GetLastError();
    return false;
  }
  certificateError_ = status.dwError;
  if (certificateError_ == 0 && !address.empty() && !CertificateNamesAddress(certificate.get(), address)) {
    certificateError_ = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
  }
  return certificateError_ == 0;
}

IoResult TlsSession::Write(TcpConnection& tcp, std::string_view bytes, int timeoutMs) {
  if (!established_) return IoResult::Failed;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  std::string record;
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), sizes_.cbMaximumMessage);
    record.assign(sizes_.cbHeader + n + sizes_.cbTrailer, '\0');
    std::memcpy(record.data() + sizes_.cbHeader, bytes.data(), n);
    SecBuffer parts[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {static_cast<ULONG>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
    lastStatus_ = ::EncryptMessage(&context_.handle, 0, &desc, 0);
    if (lastStatus_ != SEC_E_OK) return IoResult::Failed;
    const std::size_t total = parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer;
    const IoResult io = tcp.Send(std::string_view(record.data(), total), MillisecondsLeft(deadline));
    if (io != IoResult::Ok) return io;
    bytes.remove_prefix(n);
  }
  return IoResult::Ok;
}

IoResult TlsSession::Read(TcpConnection& tcp, std::string& appendTo, int timeoutMs) {
  if (!established_) return IoResult::Failed;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  for (;;) {
    if (closedByPeer_) return IoResult::Closed;
    if (!incoming_.empty()) {
      SecBuffer parts[4] = {{static_cast<ULONG>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
      lastStatus_ = ::DecryptMessage(&context_.handle, &desc, 0, nullptr);
      if (lastStatus_ == SEC_E_OK || lastStatus_ == SEC_I_RENEGOTIATE || lastStatus_ == SEC_I_CONTEXT_EXPIRED) {
        // The buffers point into incoming_, which is decrypted in place: copy them out first.
        std::string plain;
        std::string extra;
        for (const SecBuffer& part : parts) {
          if (part.BufferType == SECBUFFER_DATA && part.pvBuffer) {
            plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          } else if (part.BufferType == SECBUFFER_EXTRA && part.pvBuffer) {
            extra.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          }
        }
        incoming_ = std::move(extra);
        appendTo += plain;
        if (lastStatus_ == SEC_I_CONTEXT_EXPIRED) {
          closedByPeer_ = true;
          return plain.empty() ? IoResult::Closed : IoResult::Ok;
        }
        // TLS 1.3 sends session tickets and key updates after the handshake; SChannel hands
        // them back to InitializeSecurityContext this way.
        if (lastStatus_ == SEC_I_RENEGOTIATE && !HandshakeLoop(tcp, deadline, false)) return IoResult::Failed;
        if (!plain.empty()) return IoResult::Ok;
        continue;
      }
      if (lastStatus_ != SEC_E_INCOMPLETE_MESSAGE) return IoResult::Failed;
    }
    const IoResult io = tcp.Receive(incoming_, MillisecondsLeft(deadline));
    if (io != IoResult::Ok) return io;
  }
}

void TlsSession::Shutdown(TcpConnection& tcp, int timeoutMs) {
  if (!established_ || closedByPeer_) return;
  established_ = false;
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  if (::ApplyControlToken(&context_.handle, &controlDesc) != SEC_E_OK) return;
  OutputToken out;
  ULONG attributes = 0;
  const SECURITY_STATUS status =
      ::InitializeSecurityContextW(&credentials_.handle, &context_.handle, target_.data(), kContextFlags, 0, 0,
                                   nullptr, 0, nullptr, &out.desc, &attributes, nullptr);
  if ((status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) && !out.bytes().empty()) {
    tcp.Send(out.bytes(), std::min(timeoutMs, kShutdownTimeoutMs));
  }
}

const char* TlsProtocolName(DWORD protocol) {
  if (protocol & SP_PROT_TLS1_3_CLIENT) return "TLS 1.3";
  if (protocol & SP_PROT_TLS1_2_CLIENT) return "TLS 1.2";
  if (protocol & SP_PROT_TLS1_1_CLIENT) return "TLS 1.1";
  if (protocol & SP_PROT_TLS1_0_CLIENT) return "TLS 1.0";
  if (protocol == 0) return "unknown";
  return "other";
}

}  // namespace uptorra
