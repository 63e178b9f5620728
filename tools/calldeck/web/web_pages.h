// calldeck serve: the page, its script and its style, served from the
// program itself (web_pages.cpp): nothing is fetched from anywhere else, so
// the page works on a closed network and its policy allows only itself.
#pragma once

namespace calldeck::web {

extern const char* const kIndexHtml;
extern const char* const kAppJs;
extern const char* const kAppCss;

}  // namespace calldeck::web
