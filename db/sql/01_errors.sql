-- The application error and the per-session error stack.
-- Packages raise their failures as dr_def.tramet_error: SQLSTATE DRT01 (a class
-- of our own) carrying the text. drue keeps texts a block pushes so that the
-- caller can read them as one stack text.

CREATE SCHEMA IF NOT EXISTS dr_def;
CREATE SCHEMA IF NOT EXISTS drue;

-- The SQLSTATE of the application error, for handlers that test for it.
CREATE OR REPLACE FUNCTION dr_def.tramet_error() RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT 'DRT01'::text $$;

-- Raise the application error with the given text.
CREATE OR REPLACE PROCEDURE dr_def.raise_error(txt text)
LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION USING ERRCODE = 'DRT01', MESSAGE = coalesce(txt, 'application error');
END $$;

-- Push one text on this session's stack.
CREATE OR REPLACE PROCEDURE drue.text_on_stack(txt text)
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM set_config('drue.stack',
    coalesce(current_setting('drue.stack', true), '') || coalesce(txt, '') || E'\n', false);
END $$;

-- The stack as one text (at most 1999 bytes, whole characters), emptied.
CREATE OR REPLACE FUNCTION drue.get_stack() RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
  s text := coalesce(current_setting('drue.stack', true), '');
BEGIN
  PERFORM set_config('drue.stack', '', false);
  IF octet_length(s) > 1999 THEN
    s := left(s, 1999);
    WHILE octet_length(s) > 1999 LOOP
      s := left(s, -1);
    END LOOP;
  END IF;
  RETURN nullif(s, '');
END $$;

-- Raise the stacked texts as the application error, emptying the stack.
CREATE OR REPLACE PROCEDURE drue.raise()
LANGUAGE plpgsql AS $$
DECLARE
  s text := drue.get_stack();
BEGIN
  RAISE EXCEPTION USING ERRCODE = 'DRT01',
    MESSAGE = coalesce(rtrim(s, E'\n'), 'application error');
END $$;
