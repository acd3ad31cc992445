#!/usr/bin/env python3
"""Writes the hand-made seed mails of the MIME fuzz corpus into corpus/.

Run from anywhere: python3 tests/fuzz/make_seeds.py. Files found by fuzzing
(corpus/cov-*) are kept as they are.
"""
import base64
import os
import quopri

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")


def jis(text):
    return text.encode("iso-2022-jp")


def bword(charset, data):
    return b"=?" + charset + b"?B?" + base64.b64encode(data) + b"?="


def qword(charset, data):
    return b"=?" + charset + b"?Q?" + quopri.encodestring(data, header=True).replace(b"=\n", b"") + b"?="


HEAD = (b"From: " + bword(b"ISO-2022-JP", jis("遍路 太郎")) + b" <taro@docomo.ne.jp>\r\n"
        b"To: hanako@example.jp\r\nDate: Tue, 8 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n")


def multipart(kind, boundary, parts, preamble=b""):
    out = b"Content-Type: multipart/" + kind + b"; boundary=\"" + boundary + b"\"\r\n\r\n" + preamble
    for p in parts:
        out += b"--" + boundary + b"\r\n" + p + b"\r\n"
    return out + b"--" + boundary + b"--\r\n"


JPEG = base64.b64decode(
    b"/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/"
    b"wAALCAABAAEBAREA/8QAFAABAAAAAAAAAAAAAAAAAAAACf/EABQQAQAAAAAAAAAAAAAAAAAAAAD/2gAIAQEAAD8AKp//2Q==")

seeds = {}

# Japanese mobile mail: ISO-2022-JP text, a Shift_JIS HTML alternative with
# carrier pictograms, a photo.
seeds["mobile-docomo"] = HEAD + b"Subject: " + bword(b"ISO-2022-JP", jis("写真を送ります")) + b"\r\n" + multipart(
    b"mixed", b"==docomo==", [
        multipart(b"alternative", b"alt", [
            b"Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
            + jis("今日は霊山寺に着きました。\r\n明日は極楽寺です。") + b"\r\n",
            b"Content-Type: text/html; charset=Shift_JIS\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
            + quopri.encodestring("<html><body>今日は<b>霊山寺</b>&#x1F600;</body></html>".encode("cp932")
                                  + b"\xf8\x9f\xf8\xa0"),
        ]),
        b"Content-Type: image/jpeg; name=\"" + bword(b"Shift_JIS", "写真.jpg".encode("cp932"))
        + b"\"\r\nContent-Disposition: attachment; filename=\"" + "写真.jpg".encode("cp932")
        + b"\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64.encodebytes(JPEG).replace(b"\n", b"\r\n"),
    ])

seeds["mobile-au-sjis-raw"] = (b"From: " + "ａｕ太郎".encode("cp932") + b" <a@ezweb.ne.jp>\r\nSubject: "
                               + "件名①ｶﾅ".encode("cp932") + b"\r\nContent-Type: text/plain; charset=Shift_JIS\r\n"
                               b"Content-Transfer-Encoding: 8bit\r\n\r\n" + "本文～－①".encode("cp932") + b"\r\n")

seeds["iso-2022-jp-plain"] = HEAD + b"Subject: " + bword(b"iso-2022-jp", jis("お遍路")[:7]) + b"\r\n " + bword(
    b"iso-2022-jp", jis("お遍路")[7:]) + b"\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\n" + jis(
    "一番札所　霊山寺\r\n二番札所　極楽寺\r\n") + b"\x1b$B%F%9%H\r\n\x1b$(D0!\x1b(B\x0e1\x0f\r\n"

seeds["encoded-words-mixed"] = HEAD + b"Subject: " + b" ".join([
    bword(b"UTF-8", "日本".encode()[:4]), bword(b"UTF-8", "日本".encode()[4:]), qword(b"shift_jis", "語".encode("cp932")),
    b"plain", bword(b"euc-jp", "テスト".encode("euc-jp")), qword(b"utf-8*ja", b"a_b"), b"=?bogus?X?zz?=",
    b"=?utf-7?B?K01FSXdSQS0=?=", bword(b"koi8-r", "Привет".encode("koi8-r")), b"=?=?utf-8?Q?=E3=81?=",
    bword(b"UTF-16LE", "あ".encode("utf-16-le")), b"=?utf-8?B?QUJD", b"=?iso-2022-jp?B?GyRCJDIbKEI=?="]) + (
    b"\r\nContent-Type: text/plain\r\n\r\nbody\r\n")

seeds["rfc2231-names"] = HEAD + b"Subject: names\r\n" + multipart(b"mixed", b"b", [
    b"Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n filename*0*=ISO-2022-JP'ja'%1B%24BJW;"
    b"\r\n filename*1*=O%29%1B%28B.pdf\r\n\r\nJVBERi0=",
    b"Content-Type: text/plain; name*2=c.txt; name*0=a; name*1=\"b \"\r\nContent-Disposition: attachment\r\n\r\nx",
    b"Content-Type: application/octet-stream; name*=utf-8''%E7%B4%8D%E7%B5%8C.txt; name=\"fallback.txt\"\r\n"
    b"Content-Transfer-Encoding: base64\r\n\r\nQUJD",
    b"Content-Type: application/octet-stream; name*0*=bogus''%ZZ%E3; name*x=1; name**=; =v; ;;\r\n\r\nz",
])

seeds["hostile-names"] = HEAD + b"Subject: names\r\n" + multipart(b"mixed", b"b", [
    b"Content-Type: text/plain; name=\"../../etc/passwd\"\r\n\r\nroot",
    b"Content-Type: text/plain; name=\"CON.txt\"\r\n\r\ncon",
    b"Content-Type: text/plain; name=\"" + "a\u202etxt.exe".encode() + b"\"\r\n\r\nbidi",
    b"Content-Type: text/plain; name=\"...\"\r\n\r\ndots",
    b"Content-Type: text/plain; name=\"" + b"x" * 300 + b".txt\"\r\n\r\nlong",
    b"Content-Type: text/plain; name=\"a:b*c?.txt\"\r\n\r\nwin",
    b"Content-Type: text/plain; name=\"same.txt\"\r\n\r\n1",
    b"Content-Type: text/plain; name=\"same.txt\"\r\n\r\n2",
])

nest = b"Content-Type: text/plain; charset=utf-8\r\n\r\n" + "深い".encode() + b"\r\n"
for i in range(60):
    nest = multipart(b"mixed", b"n%d" % i, [nest])
seeds["deep-nesting"] = HEAD + b"Subject: deep\r\n" + nest

inner = b"Subject: inner\r\nContent-Type: text/plain\r\n\r\ninner\r\n"
for i in range(20):
    inner = b"Subject: " + bword(b"UTF-8", ("層%d" % i).encode()) + b"\r\nContent-Type: message/rfc822\r\n\r\n" + inner
seeds["deep-messages"] = HEAD + inner

seeds["many-parts"] = HEAD + b"Subject: many\r\n" + multipart(b"mixed", b"p", [
    b"Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n" + jis("部分%d" % i) if i % 3 else
    b"Content-Type: application/octet-stream; name=\"f%d.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD" % i
    for i in range(300)])

seeds["broken-mime"] = HEAD + b"Subject: broken\r\nContent-Type: multipart/mixed; boundary=\"never\r\n\r\n" + (
    b"--never\r\nContent-Type: text/plain; charset=\r\nContent-Transfer-Encoding: base64\r\n\r\n!!QQ=Q===\r\n"
    b"--never\r\nContent-Type: /\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n=ZZ=\r\n=E3=81\r\n"
    b"--nev")

seeds["no-boundary"] = HEAD + b"Subject: x\r\nContent-Type: multipart/alternative\r\n\r\n--\r\n--\r\n"

seeds["partial"] = HEAD + b"Subject: part\r\nContent-Type: message/partial; id=\"abc@x\"; number=1; total=2\r\n\r\n" + (
    b"Subject: whole\r\nContent-Type: text/plain\r\n\r\nfirst half")
seeds["partial-complete"] = HEAD + b"Subject: part\r\nContent-Type: message/partial; id=\"abc@x\"; number=1; total=1\r\n\r\n" + (
    b"Subject: whole\r\nContent-Type: text/plain\r\n\r\nall of it")

seeds["uuencode"] = HEAD + b"Subject: uu\r\n" + multipart(b"mixed", b"u", [
    b"Content-Type: application/octet-stream; name=\"a.txt\"\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
    b"begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n"])

seeds["html-only"] = HEAD + b"Subject: html\r\nContent-Type: text/html; charset=euc-jp\r\n\r\n" + (
    "<html><head><title>t</title><style>p{}</style></head><body><p>本文&amp;&#12354;&#x0;&#99999999;<br>"
    "<table><tr><td>a</td><td>b</td></tr></table><!-- c <script>x</script><pre> a  b </pre>").encode("euc-jp")

seeds["line-ends"] = b"Subject: lf\nFrom: a@b\nContent-Type: text/plain; charset=utf-8\n\nline\nline\rline\r\n"
seeds["header-only"] = b"Subject: =?utf-8?B?5Lu25ZCN?="
seeds["empty"] = b""
seeds["nul-bytes"] = b"Subject: a\x00b\r\n\r\nbody\x00\x00\x00"
seeds["utf16-body"] = HEAD + b"Subject: u16\r\nContent-Type: text/plain; charset=utf-16\r\n\r\n" + "テキスト".encode("utf-16")
seeds["exotic-charsets"] = HEAD + b"Subject: " + bword(b"IBM037", b"\xc8\x89") + b"\r\n" + multipart(b"mixed", b"e", [
    b"Content-Type: text/plain; charset=utf-7\r\n\r\n+MEIwRA-",
    b"Content-Type: text/plain; charset=cp1047\r\n\r\n\xc8\x89",
    b"Content-Type: text/plain; charset=\"../../x\"\r\n\r\ny"])
seeds["mislabelled"] = HEAD + b"Subject: m\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + "機種依存".encode("cp932")
seeds["undeclared-8bit"] = HEAD + b"Subject: " + "生の件名".encode("euc-jp") + b"\r\n\r\n" + "本文".encode("cp932")
seeds["embedded-message"] = HEAD + b"Subject: fwd\r\n" + multipart(b"mixed", b"m", [
    b"Content-Type: text/plain\r\n\r\nsee attached",
    b"Content-Type: message/rfc822\r\n\r\nSubject: " + bword(b"UTF-8", "転送".encode()) + b"\r\n\r\ninner body"])
seeds["folded-params"] = HEAD + b"Subject: f\r\nContent-Type: text/plain;\r\n\tcharset=\"ISO-2022-JP\";\r\n format=flowed\r\n" + (
    b"Content-Transfer-Encoding: 7bit\r\n\r\n" + jis("折り返し"))
seeds["base64-padding"] = HEAD + b"Subject: pad\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" + (
    base64.b64encode("あ".encode()) + base64.b64encode("い".encode()) + b"=\r\n=QQ\r\n")
# How mail is read: unassigned JIS, Shift_JIS and EUC-JP rows; named texts
# and the root of a multipart/related; a header that starts folded; broken
# encoded words; raw Latin-1 headers; UTF-7 and Microsoft's UTF-16 names;
# HTML with entities, lists, tables and quoted ">".
seeds["reading-unassigned-rows"] = HEAD + b"Subject: " + bword(b"ISO-2022-JP", b"\x1b$Bu!)!\x1b(B") + b"\r\n" + multipart(
    b"mixed", b"r", [b"Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$Bu!z~)!\x1b(Ba",
                     b"Content-Type: text/plain; charset=shift_jis\r\n\r\n\x85\x41\xeb\x9f\xf0\x40A",
                     b"Content-Type: text/plain; charset=euc-jp\r\n\r\n\xa9\xc1\x8f\xa2\xa1A"])
seeds["reading-text-parts"] = HEAD + b"Subject: t\r\n" + multipart(b"mixed", b"t", [
    b"Content-Type: text/plain; name=a.txt\r\n\r\none",
    b"Content-Type: text/plain; name=b.txt\r\n\r\ntwo",
    multipart(b"related; type=\"text/html\"; start=\"<r@x>\"", b"q", [
        b"Content-Type: image/jpeg\r\nContent-ID: <i@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + base64.b64encode(JPEG),
        b"Content-Type: text/html; name=r.html\r\nContent-ID: <r@x>\r\nContent-Disposition: attachment\r\n\r\n"
        b"<p>root<img src=cid:i@x></p>"])])
seeds["reading-folded-start"] = (b" folded\r\n\tagain\r\nSubject: R\xe9sum\xe9 " + b"=?ISO-2022-JP?B?GyRCJEIkJCQmGyhC ?= "
                                 + b"=?ISO-2022-JP?B?GyRCJE IkJBsoQg==?=" + b"\r\nFrom: M\xfcller <m@x>\r\n"
                                 b"Content-Type: text/plain; charset=shift_jis\r\n\r\nbody")
seeds["reading-charset-names"] = HEAD + b"Subject: " + bword(b"unicodeFFFE", "件名".encode("utf-16-be")) + b"\r\n" + multipart(
    b"mixed", b"c", [b"Content-Type: text/plain; charset=utf-7\r\n\r\n+MEIwRA- a+-b +2D3eAA-",
                     b"Content-Type: text/html; charset=utf-7\r\n\r\n+ADw-script+AD4-x",
                     b"Content-Type: text/plain; charset=unicode\r\n\r\n" + "本文".encode("utf-16-le"),
                     b"Content-Type: text/plain; charset=unicodebig\r\n\r\n" + "本文".encode("utf-16")])
seeds["reading-html"] = HEAD + b"Subject: h\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + (
    "<div title=\"a>b\">5&euro; &hearts;</div>after<ul><li>one<li>two<ol><li>nested</ol></ul>"
    "<table><tr><td>c1<td>c2<tr><td>d1</table><h1>見出し</h1><pre>  a\n  b</pre><code>x</code>"
    "<link rel=stylesheet href=file:///etc/passwd><img src=file:///etc/hostname>" + "<b>" * 600 + "deep").encode()

os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, "seed-" + name + ".eml"), "wb") as f:
        f.write(data)
print(len(seeds), "seeds written to", OUT)
