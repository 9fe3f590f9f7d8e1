// LoginOverride: swaps the settings' login in and back out.
#include "http/LoginOverride.h"

#include "http/HttpControl.h"

namespace vantry {

LoginOverride::LoginOverride(HttpControl &control, bool active, const char *login, const char *password)
    : m_control(control), m_active(active) {
    if (!m_active)
        return;
    m_login.SetBuffer(control.Login);
    m_password.SetBuffer(control.Password);
    control.Login.SetString(login ? login : "");
    control.Password.SetString(password ? password : "");
}

LoginOverride::~LoginOverride() {
    if (!m_active)
        return;
    m_control.Login.SetBuffer(m_login);
    m_control.Password.SetBuffer(m_password);
}

} // namespace vantry
