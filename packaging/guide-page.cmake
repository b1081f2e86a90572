# Wraps the HTML that cmark-gfm made of the user guide in a page of its own.
file(READ "${BODY}" body)
file(WRITE "${OUT}" "<!DOCTYPE html>
<html lang=\"${LANG}\">
<head>
<meta charset=\"utf-8\">
<title>${TITLE}</title>
<style>
body { font-family: \"Liberation Sans\", Arial, \"WenQuanYi Micro Hei\", sans-serif; max-width: 52em; margin: 2em auto; padding: 0 1em; line-height: 1.45; color: #222; }
h1, h2 { color: #1f4e79; }
h2 { border-bottom: 1px solid #cfe3f5; padding-bottom: 0.2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
th { background: #eef4fa; }
pre { background: #f4f4f4; padding: 0.6em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #ccc; }
</style>
</head>
<body>
${body}</body>
</html>
")
