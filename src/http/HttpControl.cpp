// HttpControl: the construction defaults of the request settings.
#include "http/HttpControl.h"

namespace vantry {

HttpControl::HttpControl() {
    UserAgent.SetString("Vantry/1.0.0 (+http://www.vantry.example/VantryHttpUA.asp)");
    Accept.SetString("*/*");
    Connection.SetString("Keep-Alive");
    AcceptCharset.SetString("ISO-8859-1,utf-8;q=0.7,*;q=0.7");
    AcceptLanguage.SetString("en-us,en;q=0.5");
}

} // namespace vantry
