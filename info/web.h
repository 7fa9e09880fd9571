// The forum the author's About window links to, and handing an address to
// the user's browser.
#pragma once

// One set of constants: the forum's host, the author's numeric user id on
// it and the author's handle.
#define KESTRANA_FORUM_HOST "bbs.example.org"
#define KESTRANA_FORUM_USER_ID "104729"
#define KESTRANA_AUTHOR_HANDLE "Lirren"

namespace kestrana {

inline constexpr char kForumHost[] = KESTRANA_FORUM_HOST;
inline constexpr char kForumUserId[] = KESTRANA_FORUM_USER_ID;
inline constexpr char kAuthorCredit[] = "By Quorvel@" KESTRANA_AUTHOR_HANDLE;
// The forum's home page; the address ends with one space, which is handed
// over with it.
inline constexpr char kForumAddress[] = "https://" KESTRANA_FORUM_HOST "/?fromuid=" KESTRANA_FORUM_USER_ID " ";
// The author's profile page.
inline constexpr char kProfileAddress[] =
    "https://" KESTRANA_FORUM_HOST "/home.php?mod=space&uid=" KESTRANA_FORUM_USER_ID;

// Hands the address to the shell so that the default browser opens it. The
// outcome is not examined.
void openWebAddress(const char* address);

}  // namespace kestrana
