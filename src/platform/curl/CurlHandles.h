// RAII owners of the libcurl handles the HTTP adapter uses: the process-wide
// library state, one easy handle per exchange, and a header list. Each owns
// exactly one C handle; copies are deleted and moves never throw.
#pragma once

#include <curl/curl.h>

#include <utility>

namespace velmora {

// curl_global_init once for the whole program: main() and the test programs
// keep one of these alive while they use the HTTP adapter.
// See https://curl.se/libcurl/c/curl_global_init.html: not thread-safe, so it
// belongs at the start of main, before any other thread runs.
class CurlGlobal {
public:
    CurlGlobal() : m_ok(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
    ~CurlGlobal() {
        if (m_ok) curl_global_cleanup();
    }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;

    // Whether the library started; when it did not, every exchange fails.
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

// One CURL easy handle.
class CurlEasy {
public:
    CurlEasy() : m_handle(curl_easy_init()) {}
    ~CurlEasy() {
        if (m_handle) curl_easy_cleanup(m_handle);
    }
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;
    CurlEasy(CurlEasy&& o) noexcept : m_handle(std::exchange(o.m_handle, nullptr)) {}
    CurlEasy& operator=(CurlEasy&& o) noexcept {
        if (this != &o) {
            if (m_handle) curl_easy_cleanup(m_handle);
            m_handle = std::exchange(o.m_handle, nullptr);
        }
        return *this;
    }

    CURL* get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    CURL* m_handle;
};

// A curl_slist of header lines. append() reports whether curl took the line.
class CurlHeaderList {
public:
    CurlHeaderList() = default;
    ~CurlHeaderList() {
        if (m_list) curl_slist_free_all(m_list);
    }
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;
    CurlHeaderList(CurlHeaderList&& o) noexcept : m_list(std::exchange(o.m_list, nullptr)) {}
    CurlHeaderList& operator=(CurlHeaderList&& o) noexcept {
        if (this != &o) {
            if (m_list) curl_slist_free_all(m_list);
            m_list = std::exchange(o.m_list, nullptr);
        }
        return *this;
    }

    bool append(const char* line) {
        curl_slist* grown = curl_slist_append(m_list, line);
        if (!grown) return false;
        m_list = grown;
        return true;
    }
    curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

}  // namespace velmora
