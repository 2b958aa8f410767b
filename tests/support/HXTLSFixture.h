#pragma once

// https for tests: a certificate authority and server certificates made at test
// time by the openssl command, and nginx serving one folder over http and over
// https (one https port per certificate), all on 127.0.0.1.
//
//     THXTestCertificates certificates(folder);
//     THXSecureNginx nginx(root, {certificates.Good(), certificates.Expired()});
//     if (!nginx.Started())
//         GTEST_SKIP() << nginx.Error();
//     app.SetCAFile(certificates.CAFile());
//     ... nginx.SecureURL(0, "/index.html") ...
//
// Without the openssl or nginx program the objects say so (Ready(), Started()
// false, Error()) and tests skip.

#include <cstdint>
#include <string>
#include <vector>

#include "support/HXNginxFixture.h"
#include "support/HXSandbox.h"

namespace hx::test
{

class THXTestCertificates
{
public:
    // Makes everything in a temporary folder of its own.
    THXTestCertificates();

    bool Ready() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // The certificate of the test authority: trust it through "CA File".
    const std::string& CAFile() const { return m_caFile; }
    // For 127.0.0.1 and localhost, by the test authority, valid now.
    const TCertificatePair& Good() const { return m_good; }
    // By the test authority, valid now, but for another host (other.example).
    const TCertificatePair& WrongHost() const { return m_wrongHost; }
    // For 127.0.0.1 and localhost, by the test authority, expired.
    const TCertificatePair& Expired() const { return m_expired; }
    // For 127.0.0.1 and localhost, valid now, by an authority nobody trusts.
    const TCertificatePair& Untrusted() const { return m_untrusted; }

private:
    bool Run(const std::string& command);
    bool MakeAuthority(const std::string& name, const std::string& subject);
    bool MakeServer(const std::string& name, const std::string& authority, const std::string& names, int days,
                    TCertificatePair& pair);

    TTempFolder m_folder;
    std::string m_error;
    std::string m_caFile;
    TCertificatePair m_good;
    TCertificatePair m_wrongHost;
    TCertificatePair m_expired;
    TCertificatePair m_untrusted;
};

// Plain http and https servers of the same folder, every request logged, the
// types of a site's pages, styles and pictures; a test may add to it (HTTP/2).
TNginxSetup SecureNginxSetup(const std::vector<TCertificatePair>& certificates, const std::string& extra = {});

// nginx serving `root` over http on one port and over https on one port per
// certificate. `extra` goes into every server block (as THXNginx's). Every
// request is written to the access log with its connection's serial number, so
// tests can count connections and requests.
class THXSecureNginx : public THXNginx
{
public:
    THXSecureNginx(const std::string& root, const std::vector<TCertificatePair>& certificates,
                   const std::string& extra = {});
};

} // namespace hx::test
