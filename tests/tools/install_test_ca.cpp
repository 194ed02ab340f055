// Puts the mail tests' own certificate authority (a DER file made by tests/peers/smtp_server.py)
// into the trusted root store of the local machine, so that the TLS listeners of the test peer
// pass the client's certificate check the way a real provider's certificate does. Run by a CTest
// fixture in the build folder's Wine prefix before the tests; adding it again replaces it.
// Usage: install_test_ca <ca.der>     exit code 0 when the certificate is in the store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "core/FileIo.h"
#include "core/Gbk_win.h"

namespace {

struct StoreCloser {
  HCERTSTORE store;
  ~StoreCloser() {
    if (store) ::CertCloseStore(store, 0);
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: install_test_ca <ca.der>\n");
    return 2;
  }
  uptorra::Bytes der;
  if (!uptorra::ReadWholeFile(uptorra::GbkFromWide(argv[1]), der) || der.empty()) {
    std::fprintf(stderr, "install_test_ca: cannot read the certificate\n");
    return 1;
  }
  StoreCloser root{::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT")};
  if (!root.store) {
    std::fprintf(stderr, "install_test_ca: cannot open the ROOT store (%lu)\n", ::GetLastError());
    return 1;
  }
  if (!::CertAddEncodedCertificateToStore(root.store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                          nullptr)) {
    std::fprintf(stderr, "install_test_ca: cannot add the certificate (%lu)\n", ::GetLastError());
    return 1;
  }
  std::printf("install_test_ca: test CA is trusted\n");
  return 0;
}
