#include "calc.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

void lex_init(struct lexer *lx, const char *text)
{
    lx->text = text;
    lx->pos = 0;
}

struct token lex_next(struct lexer *lx)
{
    struct token t;
    const char *s = lx->text;

    while (isspace((unsigned char)s[lx->pos]))
        lx->pos++;
    t.pos = lx->pos;
    t.num = 0;
    t.op = 0;
    if (s[lx->pos] == '\0') {
        t.kind = TOK_END;
        return t;
    }
    if (isdigit((unsigned char)s[lx->pos]) || s[lx->pos] == '.') {
        char *end;
        t.num = strtod(s + lx->pos, &end);
        if (end == s + lx->pos) {
            t.kind = TOK_BAD;
            lx->pos++;
            return t;
        }
        t.kind = TOK_NUM;
        lx->pos = (int)(end - s);
        return t;
    }
    t.op = s[lx->pos++];
    if (strchr("+-*/", t.op))
        t.kind = TOK_OP;
    else if (t.op == '(')
        t.kind = TOK_LPAREN;
    else if (t.op == ')')
        t.kind = TOK_RPAREN;
    else
        t.kind = TOK_BAD;
    return t;
}

const char *tok_name(const struct token *t)
{
    switch (t->kind) {
    case TOK_NUM:
        return "number";
    case TOK_OP:
        return "operator";
    case TOK_LPAREN:
        return "'('";
    case TOK_RPAREN:
        return "')'";
    case TOK_END:
        return "end";
    default:
        return "bad character";
    }
}
