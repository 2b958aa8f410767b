#include "support/HXTLSFixture.h"

#include <cstdlib>

#include <sys/wait.h>

namespace hx::test
{

namespace
{

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

TNginxSetup SecureNginxSetup(const std::vector<TCertificatePair>& certificates, const std::string& extra)
{
    TNginxSetup setup;
    setup.Extra = extra;
    setup.Certificates = certificates;
    setup.LogRequests = true;
    setup.Types = "text/html html; text/css css; image/png png; image/gif gif; text/plain txt; "
                  "application/octet-stream bin;";
    return setup;
}

// ---- THXTestCertificates ----

THXTestCertificates::THXTestCertificates()
{
    if (FindProgram("openssl").empty())
    {
        m_error = "the openssl program is not installed";
        return;
    }
    const std::string dir = m_folder.Folder();
    m_caFile = dir + "ca.pem";
    const std::string hosts = "IP:127.0.0.1,DNS:localhost";
    if (MakeAuthority("ca", "/CN=Harbex Test Authority") && MakeAuthority("other-ca", "/CN=Nobody Trusts Me") &&
        MakeServer("good", "ca", hosts, 30, m_good) &&
        MakeServer("wrong-host", "ca", "DNS:other.example", 30, m_wrongHost) &&
        MakeServer("expired", "ca", hosts, -1, m_expired) &&
        MakeServer("untrusted", "other-ca", hosts, 30, m_untrusted))
        return;
    if (m_error.empty())
        m_error = "openssl failed: " + m_folder.ReadFile("openssl.log");
}

bool THXTestCertificates::Run(const std::string& command)
{
    const std::string log = m_folder.Folder() + "openssl.log";
    const int status = std::system((command + " >>" + Quoted(log) + " 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool THXTestCertificates::MakeAuthority(const std::string& name, const std::string& subject)
{
    const std::string base = m_folder.Folder() + name;
    return Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -subj " +
               Quoted(subject) + " -keyout " + Quoted(base + ".key") + " -out " + Quoted(base + ".pem"));
}

bool THXTestCertificates::MakeServer(const std::string& name, const std::string& authority, const std::string& names,
                                     int days, TCertificatePair& pair)
{
    const std::string dir = m_folder.Folder();
    const std::string base = dir + name;
    pair.Certificate = base + ".pem";
    pair.Key = base + ".key";
    // A negative number of days makes a certificate that ended before it was made.
    m_folder.WriteFile(name + ".ext",
                       "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    return Run("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj " +
               Quoted("/CN=" + name) + " -keyout " + Quoted(pair.Key) + " -out " + Quoted(base + ".csr")) &&
           Run("openssl x509 -req -in " + Quoted(base + ".csr") + " -CA " + Quoted(dir + authority + ".pem") +
               " -CAkey " + Quoted(dir + authority + ".key") + " -CAcreateserial -days " + std::to_string(days) +
               " -extfile " + Quoted(base + ".ext") + " -out " + Quoted(pair.Certificate));
}

// ---- THXSecureNginx ----

THXSecureNginx::THXSecureNginx(const std::string& root, const std::vector<TCertificatePair>& certificates,
                               const std::string& extra)
    : THXNginx(root, SecureNginxSetup(certificates, extra))
{
}

} // namespace hx::test
