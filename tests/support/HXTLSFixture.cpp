#include "support/HXTLSFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

namespace hx::test
{

namespace
{

constexpr int kStartAttempts = 4;

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

std::string ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

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
        m_error = "openssl failed: " + ReadText(dir + "openssl.log");
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
    if (!WriteText(base + ".ext",
                   "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"))
        return false;
    return Run("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj " +
               Quoted("/CN=" + name) + " -keyout " + Quoted(pair.Key) + " -out " + Quoted(base + ".csr")) &&
           Run("openssl x509 -req -in " + Quoted(base + ".csr") + " -CA " + Quoted(dir + authority + ".pem") +
               " -CAkey " + Quoted(dir + authority + ".key") + " -CAcreateserial -days " + std::to_string(days) +
               " -extfile " + Quoted(base + ".ext") + " -out " + Quoted(pair.Certificate));
}

// ---- THXSecureNginx ----

THXSecureNginx::THXSecureNginx(const std::string& root, const std::vector<TCertificatePair>& certificates,
                               const std::string& extra)
{
    const std::string program = FindProgram("nginx");
    if (program.empty())
    {
        m_error = "nginx is not installed";
        return;
    }
    const std::string dir = m_folder.Folder();
    for (int attempt = 0; attempt < kStartAttempts && !Started(); ++attempt)
    {
        m_port = FreeLoopbackPort();
        m_securePorts.clear();
        std::ostringstream conf;
        conf << "master_process off;\n"
             << "worker_processes 1;\n"
             << "pid " << dir << "nginx.pid;\n"
             << "error_log " << dir << "error.log warn;\n"
             << "events { worker_connections 1024; }\n"
             << "http {\n"
             << "  log_format counted '$connection $connection_requests $request_method $request_uri $status "
                "$ssl_session_reused';\n"
             << "  access_log " << dir << "access.log counted;\n"
             << "  client_body_temp_path " << dir << "body;\n"
             << "  proxy_temp_path " << dir << "proxy;\n"
             << "  fastcgi_temp_path " << dir << "fastcgi;\n"
             << "  uwsgi_temp_path " << dir << "uwsgi;\n"
             << "  scgi_temp_path " << dir << "scgi;\n"
             << "  types { text/html html; text/css css; image/png png; image/gif gif; text/plain txt; "
                "application/octet-stream bin; }\n"
             << "  default_type application/octet-stream;\n"
             << "  sendfile on;\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << m_port << ";\n"
             << "    server_name localhost;\n"
             << "    root " << root << ";\n"
             << extra << "\n"
             << "  }\n";
        for (const TCertificatePair& pair : certificates)
        {
            const std::uint16_t port = FreeLoopbackPort();
            m_securePorts.push_back(port);
            conf << "  server {\n"
                 << "    listen 127.0.0.1:" << port << " ssl;\n"
                 << "    server_name localhost;\n"
                 << "    ssl_certificate " << pair.Certificate << ";\n"
                 << "    ssl_certificate_key " << pair.Key << ";\n"
                 << "    ssl_protocols TLSv1.2 TLSv1.3;\n"
                 << "    root " << root << ";\n"
                 << extra << "\n"
                 << "  }\n";
        }
        conf << "}\n";
        if (!WriteText(dir + "nginx.conf", conf.str()))
        {
            m_error = "cannot write the nginx configuration";
            return;
        }
        // Started once the last server answers: nginx opens every port before it serves.
        const std::uint16_t last = m_securePorts.empty() ? m_port : m_securePorts.back();
        m_process.Start({program, "-p", dir, "-e", dir + "error.log", "-c", dir + "nginx.conf", "-g", "daemon off;"},
                        dir + "output.log", last);
    }
    if (!Started())
        m_error = "nginx did not start: " + ReadText(dir + "output.log") + ReadText(dir + "error.log");
}

std::string THXSecureNginx::URL(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string THXSecureNginx::SecureURL(std::size_t index, const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(SecurePort(index)) + path;
}

std::vector<std::string> THXSecureNginx::AccessLog() const
{
    std::vector<std::string> lines;
    std::istringstream text(ReadText(m_folder.Folder() + "access.log"));
    for (std::string line; std::getline(text, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

} // namespace hx::test
