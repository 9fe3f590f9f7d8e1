// LoginOverride: the Basic login of the settings replaced for the span of one request and put back
// afterwards: a URL's own credentials for that URL's request alone, or none where the login must not go.
#pragma once
#include "core/StringBuffer.h"

namespace vantry {

class HttpControl;

class LoginOverride {
public:
    // When active, Login and Password hold login and password until this object goes.
    LoginOverride(HttpControl &control, bool active, const char *login = "", const char *password = "");
    ~LoginOverride();
    LoginOverride(const LoginOverride &) = delete;
    LoginOverride &operator=(const LoginOverride &) = delete;

private:
    HttpControl &m_control;
    bool m_active;
    StringBuffer m_login, m_password;
};

} // namespace vantry
