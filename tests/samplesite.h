#pragma once
// Runs tools/sample-site/sample_site.py on a free loopback port for the life of the object.

#include "peerprocess.h"

#ifndef QB_SAMPLE_SITE
#error "QB_SAMPLE_SITE must name sample_site.py"
#endif

class SampleSite {
public:
    // The cities that the run's tests name answer in the site's old one-line shape, so that those tests check
    // the old forms; every other city answers in today's shape. extraArgs may name others ("--old-shape", ...).
    explicit SampleSite(std::vector<std::string> extraArgs = {})
        : peer_(QB_SAMPLE_SITE, withOldShapeCities(std::move(extraArgs)), "qb-sample-site")
    {
    }

    bool started() const { return peer_.started(); }
    int port() const { return peer_.port(); }
    // What settings.ini's siteDomain would hold; cities are subdomains of it.
    std::string domain() const { return "localhost:" + std::to_string(peer_.port()); }
    // pathAndQuery starts with "/", e.g. "/search/sss?query=bike".
    std::string cityUrl(const std::string& city, const std::string& pathAndQuery) const
    {
        return "http://" + city + "." + domain() + pathAndQuery;
    }

private:
    static std::vector<std::string> withOldShapeCities(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--old-shape", "abc,xyz,lmn,newyork,boston,chicago"});
        return args;
    }

    PeerProcess peer_;
};
