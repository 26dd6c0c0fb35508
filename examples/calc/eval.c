#include "calc.h"

#include <stdio.h>

/* Recursive descent with one token of lookahead:
     expr  = term { ('+' | '-') term }
     term  = unary { ('*' | '/') unary }
     unary = ('+' | '-') unary | primary
     primary = number | '(' expr ')'                                     */
struct parser {
    struct lexer lx;
    struct token cur;
    const char *err;
    int errpos;
};

static void advance(struct parser *p)
{
    p->cur = lex_next(&p->lx);
#ifdef CALC_DEBUG
    fprintf(stderr, "calc: token %s at %d\n", tok_name(&p->cur), p->cur.pos);
#endif
}

static int fail_at(struct parser *p, const char *msg, int pos)
{
    if (!p->err) {
        p->err = msg;
        p->errpos = pos;
    }
    return 0;
}

static int fail(struct parser *p, const char *msg)
{
    if (p->cur.kind == TOK_BAD)
        msg = "unknown character";
    return fail_at(p, msg, p->cur.pos);
}

static int expr(struct parser *p, double *v);

static int primary(struct parser *p, double *v)
{
    if (p->cur.kind == TOK_NUM) {
        *v = p->cur.num;
        advance(p);
        return 1;
    }
    if (p->cur.kind != TOK_LPAREN)
        return fail(p, "number or '(' expected");
    advance(p);
    if (!expr(p, v))
        return 0;
    if (p->cur.kind != TOK_RPAREN)
        return fail(p, "')' expected");
    advance(p);
    return 1;
}

static int unary(struct parser *p, double *v)
{
    if (p->cur.kind == TOK_OP && (p->cur.op == '-' || p->cur.op == '+')) {
        char op = p->cur.op;
        advance(p);
        if (!unary(p, v))
            return 0;
        if (op == '-')
            *v = -*v;
        return 1;
    }
    return primary(p, v);
}

static int term(struct parser *p, double *v)
{
    if (!unary(p, v))
        return 0;
    while (p->cur.kind == TOK_OP && (p->cur.op == '*' || p->cur.op == '/')) {
        char op = p->cur.op;
        int oppos = p->cur.pos;
        double rhs;
        advance(p);
        if (!unary(p, &rhs))
            return 0;
        if (op == '/' && rhs == 0)
            return fail_at(p, "division by zero", oppos);
        *v = op == '*' ? *v * rhs : *v / rhs;
    }
    return 1;
}

static int expr(struct parser *p, double *v)
{
    if (!term(p, v))
        return 0;
    while (p->cur.kind == TOK_OP && (p->cur.op == '+' || p->cur.op == '-')) {
        char op = p->cur.op;
        double rhs;
        advance(p);
        if (!term(p, &rhs))
            return 0;
        *v = op == '+' ? *v + rhs : *v - rhs;
    }
    return 1;
}

int calc_eval(const char *text, double *result, const char **err, int *errpos)
{
    struct parser p;

    lex_init(&p.lx, text);
    p.err = NULL;
    p.errpos = 0;
    advance(&p);
    if (expr(&p, result) && p.cur.kind != TOK_END)
        fail(&p, "operator or end expected");
    *err = p.err;
    *errpos = p.errpos;
    return p.err == NULL;
}
