#pragma once
// Splitting the addresses the HTTP client fetches and the names it derives from them.
#include <string>

struct TUrlParts {
    std::string Proto, User, Pass, Host, Port, Path;
};

// Splits Url into scheme, user, password, host, port and path (the query stays in the path).
// The Path passed in is the base that "./" and "../" forms are resolved against; every other
// part starts empty.
void ParseURL(const std::string& Url, TUrlParts& Parts);
TUrlParts ParseURL(const std::string& Url, const std::string& BasePath = "");

// The file name a path is saved under: the last segment without its query, at most 255
// characters; "document.htm" for a folder or an empty path.
std::string DocNameOf(const std::string& Path);

// A request URI up to and including the last "/" or ":" before any query: what a relative
// Location is appended to.
std::string UrlBase(const std::string& Uri);

// "Day, DD Mon YYYY hh:mm:ss" of a date-time counted in days from 30 December 1899 (the
// fraction is the time of day), written as is: no time-zone conversion.
std::string RFC1123Date(double DateTime);
